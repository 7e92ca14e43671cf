// The GUI tests' entry: one application object for every case, on X11 with software OpenGL.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Leak checks stay with the core tests: the system's D-Bus and GL libraries keep memory to the
// end of the process, outside anything Quarvel could free.
extern "C" const char* __asan_default_options() {
  return "detect_leaks=0";
}

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "xcb", 0);
  ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
