# The cases that take over a second and a half in the optimised build (ctest -j2 on two cores),
# labelled slow beside their group's label; CTest reads this after the discovered cases' lists.
# A case the build does not hold (the ThreadSanitizer build holds only the thread tests) is passed
# over.
set_tests_properties(
  VideoWriter.LossyCompressorsGiveEveryFrameAtTheMaskSize
  VideoWriter.LosslessCompressorsGiveTheMaskBytesBack
  GltfDecode.HostileDracoFilesDecodeWithinTheFilesBound
  PROPERTIES LABELS "unit;slow")
set_tests_properties(
  gui.GuiTest.RunningOutOfMemoryLeavesTheWindowUsable
  gui.GuiTest.LongWorkKeepsTheWindowAlive
  gui.GuiTest.AFullDiskIsReportedWithTheFileAndTheReason
  gui.AboutTest.TheTextScrollsUpAfterAPause
  gui.OptionsTest.TheSingleInstanceChoiceTakesEffectAtTheNextStart
  PROPERTIES LABELS "window;slow")
