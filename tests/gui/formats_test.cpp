// Every model format quarvel-render reads opens in the window by each way a user has (the Open
// dialog, a drop, the command line, the recent files) and gives quarvel-render's mask; the other
// readers' errors show in the language chosen, with what is wrong on a line of its own.
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSpinBox>
#include <QToolButton>
#include <QUrl>
#include <filesystem>

#include "gui_fixture.h"
#include "samples/shapes.h"
#include "samples/write_models.h"

namespace quarvel {
namespace {

struct FormatsTest : GuiTest {
  // A new window that opens `path` by `route`.
  std::unique_ptr<TMainForm> OpenBy(const std::string& route, const std::string& path) {
    if (route == "recent") WriteSettings("[Recent]\nItem_0=" + path + "\n");
    auto form = MakeForm();
    const QString file = QString::fromStdString(path);
    if (route == "open dialog") {
      WhenUp<QFileDialog>(form.get(), [file](QFileDialog* files) {
        files->findChild<QLineEdit*>("fileNameEdit")->setText(file);
        QMetaObject::invokeMethod(files, "accept");
      });
      form->findChild<QAction*>("Open1")->trigger();
    } else if (route == "drop") {
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile(file)});
      QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      // Straight to the window: the application hands a drop only to the drag it started.
      static_cast<QObject*>(form.get())->event(&drop);
    } else if (route == "command line") {
      form->OpenCommandLine({"quarvel", file});
    } else {
      form->findChild<QAction*>("MRU1")->trigger();
    }
    return form;
  }
};

TEST_F(FormatsTest, EveryRouteOpensEachFormatWithTheBatchRenderersMask) {
  const TriangleMesh knot = TorusKnot(60, 8);
  const std::pair<const char*, std::vector<uint8_t>> models[] = {
      {"knot.obj", WriteObj(knot)},
      {"knot.glb", WriteGlb(knot)},
      {"knot.stl", WriteBinaryStl(knot)},
  };
  for (const auto& [name, bytes] : models) {
    const std::string model = dir.Write(name, bytes);
    const std::string cli = std::string(QUARVEL_RENDER_EXE) + " " + model +
                            " --size 320x240 --clicks y:-3 -o " + dir.Path("cli.bmp");
    ASSERT_EQ(std::system(cli.c_str()), 0) << name;
    for (const char* route : {"open dialog", "drop", "command line", "recent"}) {
      auto form = OpenBy(route, model);
      EXPECT_EQ(form->windowTitle(), QString(kCaption) + " : " + name) << route;
      EXPECT_EQ(Panel(*form, 0), QString("%1 faces imported").arg(knot.faces.size())) << route;
      form->findChild<QSpinBox*>("UpDown4")->setValue(320);
      form->findChild<QSpinBox*>("UpDown5")->setValue(240);
      for (int click = 0; click < 3; ++click)
        QTest::mouseClick(form->findChild<QToolButton*>("UpDownYRight"), Qt::LeftButton);
      form->findChild<QAction*>("Render1")->trigger();
      ASSERT_TRUE(form->SaveMask(QString::fromStdString(dir.Path("window.bmp"))));
      EXPECT_EQ(test::ReadFile(dir.Path("window.bmp")), test::ReadFile(dir.Path("cli.bmp")))
          << name << " by " << route;
    }
  }
  EXPECT_EQ(QStringList(errors.begin(), errors.end()).join(" | ").toStdString(), "");
}

TEST_F(FormatsTest, TheOtherReadersErrorsAreTranslatedWithTheirDetailBelow) {
  const std::string lang = "/Deutsch.quarvel.lang";
  std::filesystem::copy_file(QUARVEL_TEST_DATA "/../../lang" + lang, dir.Path("") + lang);
  const std::string stl = "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n";
  const std::pair<const char*, std::string> files[] = {
      {"bad.obj", "v 0 0 0\nv 1 0 0\nv 0 nan 0\nf 1 2 3\n"},
      {"bad.stl", stl + "endloop\nendfacet\nendsolid s\n"},
      {"scan.stl", "ply\nformat ascii 1.0\nend_header\n"},
      {"model.txt", "v 0 0 0\n"},
  };
  auto form = MakeForm();
  form->findChild<QMenu*>("Language1")->actions()[1]->trigger();
  for (const auto& [name, text] : files)
    form->Open3DS(QString::fromStdString(dir.Write(name, {text.begin(), text.end()})));
  EXPECT_EQ(QStringList(errors.begin(), errors.end()).join(" | ").toStdString(),
            "Fehler beim Lesen der OBJ-Datei\na vertex coordinate that is not a finite number "
            "('nan') at line 3 | "
            "Fehler beim Lesen der STL-Datei\na facet without three vertices at line 2 | "
            "Ihr Inhalt ist ein PLY-Modell, nicht das STL-Modell, das ihr Name angibt | "
            "Dieser Dateityp wird nicht unterstützt");
  EXPECT_EQ(Panel(*form, 0), "");
}

TEST_F(FormatsTest, TheOpenDialogOffersAllModelsThenEachTypeThenAllFiles) {
  auto form = MakeForm();
  QStringList filters;
  WhenUp<QFileDialog>(form.get(), [&](QFileDialog* files) {
    filters = files->nameFilters();
    files->reject();
  });
  form->findChild<QAction*>("Open1")->trigger();
  EXPECT_EQ(filters, (QStringList{
                         "All models (*.3DS *.3ds *.obj *.OBJ *.stl *.STL *.ply *.PLY *.gltf "
                         "*.GLTF *.glb *.GLB)",
                         "3DS file (*.3DS *.3ds)",
                         "OBJ file (*.obj *.OBJ)",
                         "STL file (*.stl *.STL)",
                         "PLY file (*.ply *.PLY)",
                         "glTF file (*.gltf *.GLTF)",
                         "glTF binary file (*.glb *.GLB)",
                         "All files (*)",
                     }));
}

}  // namespace
}  // namespace quarvel
