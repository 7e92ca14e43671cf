// The GUI tests' entry: one application object for every case, on X11 with software OpenGL.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

// Leak checks stay with the core tests: the system's D-Bus and GL libraries keep memory to the
// end of the process, outside anything Quarvel could free.
extern "C" const char* __asan_default_options() {
  return "detect_leaks=0";
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the cases (CTest does so after every build) needs no window system: the X event
  // thread that the application starts would only make the listing slower, and under
  // ThreadSanitizer, which has no suppressions at build time, fail on Qt's own races at exit.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  // Qt's file dialog keeps its history in the user's configuration and Qt its shaders in the
  // user's cache: both go to a folder of this run's own, which the children it starts share.
  // Mesa keeps no shader cache: its cache would start threads of its own, which ThreadSanitizer
  // cannot follow.
  char home[] = "/tmp/quarvel-gui-home-XXXXXX";
  const bool ownHome = !std::getenv("QUARVEL_GUI_CHILD");
  if (ownHome) {
    if (!::mkdtemp(home)) return 1;
    ::setenv("XDG_CONFIG_HOME", (std::string(home) + "/config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (std::string(home) + "/cache").c_str(), 1);
  }
  ::setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 0);
  ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  int failed = 0;
  {
    QApplication app(argc, argv);
    failed = RUN_ALL_TESTS();
  }
  if (ownHome) std::filesystem::remove_all(home);
  return failed;
}
