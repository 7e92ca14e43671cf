// Every format quarvel-render reads opens in the window by each way a user has and gives
// quarvel-render's mask; the other readers' errors are translated, their detail on a line below.
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>
#include <filesystem>

#include "gui_fixture.h"
#include "samples/write_models.h"

namespace quarvel {
namespace {

// Opens `file` in `form` by `route`; the Open dialog's filters go to `filters`.
void OpenBy(TMainForm& form, const std::string& route, const QString& file, QStringList& filters) {
  if (route == "open dialog") {
    GuiTest::WhenUp<QFileDialog>(&form, [&](QFileDialog* files) {
      filters = files->nameFilters();
      files->findChild<QLineEdit*>("fileNameEdit")->setText(file);
      QMetaObject::invokeMethod(files, "accept");
    });
    form.findChild<QAction*>("Open1")->trigger();
  } else if (route == "drop") {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(form).event(&drop);  // the application passes on drops of its own drags
  } else if (route == "command line") {
    form.OpenCommandLine({"quarvel", file});
  } else {
    form.findChild<QAction*>("MRU1")->trigger();
  }
}

TEST_F(GuiTest, EveryRouteOpensEachFormatWithTheBatchRenderersMask) {
  const TriangleMesh knot = TorusKnot(60, 8);
  const std::pair<const char*, std::vector<uint8_t>> models[] = {
      {"k.obj", WriteObj(knot)}, {"k.glb", WriteGlb(knot)}, {"k.stl", WriteBinaryStl(knot)}};
  QStringList filters;
  for (const auto& [name, bytes] : models) {
    const std::string model = dir.Write(name, bytes);
    const std::string cli = std::string(QUARVEL_RENDER_EXE) + " " + model + " --clicks y:-3 -o ";
    ASSERT_EQ(std::system((cli + dir.Path("cli.bmp")).c_str()), 0) << name;
    for (const char* route : {"open dialog", "drop", "command line", "recent"}) {
      WriteSettings("[Recent]\nItem_0=" + model + "\n");
      auto form = MakeForm();
      OpenBy(*form, route, QString::fromStdString(model), filters);
      EXPECT_EQ(Panel(*form, 0), QString("%1 faces imported").arg(knot.faces.size())) << route;
      for (int click = 0; click < 3; ++click)
        QTest::mouseClick(form->findChild<QToolButton*>("UpDownYRight"), Qt::LeftButton);
      form->findChild<QAction*>("Render1")->trigger();
      ASSERT_TRUE(form->SaveMask(QString::fromStdString(dir.Path("window.bmp"))));
      EXPECT_EQ(test::ReadFile(dir.Path("window.bmp")), test::ReadFile(dir.Path("cli.bmp")))
          << name << " by " << route;
    }
  }
  EXPECT_EQ(filters.join(";;").toStdString(),
            "All models (*.3DS *.3ds *.obj *.OBJ *.stl *.STL *.ply *.PLY *.gltf *.GLTF *.glb "
            "*.GLB);;3DS file (*.3DS *.3ds);;OBJ file (*.obj *.OBJ);;STL file (*.stl *.STL);;PLY "
            "file (*.ply *.PLY);;glTF file (*.gltf *.GLTF);;glTF binary file (*.glb *.GLB);;All "
            "files (*)");
  EXPECT_EQ(QStringList(errors.begin(), errors.end()).join(" | ").toStdString(), "");
}

TEST_F(GuiTest, TheOtherReadersErrorsAreTranslatedWithTheirDetailBelow) {
  const std::string lang = "/Deutsch.quarvel.lang";
  std::filesystem::copy_file(QUARVEL_TEST_DATA "/../../lang" + lang, dir.Path("") + lang);
  const std::string files[][2] = {
      {"bad.obj", "v 0 0 0\nv 1 0 0\nv 0 nan 0\nf 1 2 3\n"},
      {"bad.stl", "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nendloop\n"},
      {"scan.stl", "ply\nformat ascii 1.0\nend_header\n"},
  };
  auto form = MakeForm();
  form->findChild<QMenu*>("Language1")->actions()[1]->trigger();
  for (const auto& [name, text] : files)
    form->Open3DS(QString::fromStdString(dir.Write(name, {text.begin(), text.end()})));
  EXPECT_EQ(QStringList(errors.begin(), errors.end()).join(" | ").toStdString(),
            "Fehler beim Lesen der OBJ-Datei\na vertex coordinate that is not a finite number "
            "('nan') at line 3 | Fehler beim Lesen der STL-Datei\na facet without three vertices "
            "at line 2 | Ihr Inhalt ist ein PLY-Modell, nicht das STL-Modell, das ihr Name angibt");
  EXPECT_EQ(Panel(*form, 0), "");
}

}  // namespace
}  // namespace quarvel
