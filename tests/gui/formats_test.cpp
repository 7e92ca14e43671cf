// Every format quarvel-render reads opens in the window by each way a user has and gives
// quarvel-render's mask; the other readers' errors are translated, their detail on a line below.
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <filesystem>

#include "gui_fixture.h"
#include "samples/write_models.h"

namespace quarvel {
namespace {

// Opens `file` in `form` by `route`; the Open dialog's filters go to `filters`.
void OpenBy(TMainForm& form, const std::string& route, const QString& file, QStringList& filters) {
  QMimeData dropped;
  dropped.setUrls({QUrl::fromLocalFile(file)});
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  GuiTest::WhenUp<QFileDialog>(&form, [file, &filters](QFileDialog* files) {
    filters = files->nameFilters();
    files->findChild<QLineEdit*>("fileNameEdit")->setText(file);
    QMetaObject::invokeMethod(files, "accept");
  });
  if (route == "open dialog") form.findChild<QAction*>("Open1")->trigger();
  // Sent through the application, a drop outside a real drag never reaches the window.
  if (route == "drop") static_cast<QObject&>(form).event(&drop);
  if (route == "command line") form.OpenCommandLine({"quarvel", file});
  if (route == "recent") form.findChild<QAction*>("MRU1")->trigger();
}

TEST_F(GuiTest, EveryRouteOpensEachFormatWithTheBatchRenderersMaskOrItsReadersError) {
  const TriangleMesh knot = TorusKnot(60, 8);
  const std::pair<const char*, std::vector<uint8_t>> models[] = {
      {"k.obj", WriteObj(knot)}, {"k.glb", WriteGlb(knot)}, {"k.stl", WriteBinaryStl(knot)}};
  QStringList filters;
  for (const auto& [name, bytes] : models) {
    const std::string model = dir.Write(name, bytes), cli = QUARVEL_RENDER_EXE " " + model;
    ASSERT_EQ(std::system((cli + " -o " + dir.Path("cli.bmp")).c_str()), 0) << name;
    for (const char* route : {"open dialog", "drop", "command line", "recent"}) {
      WriteSettings("[Recent]\nItem_0=" + model + "\n");
      auto form = MakeForm();
      OpenBy(*form, route, QString::fromStdString(model), filters);
      EXPECT_EQ(Panel(*form, 0), QString("%1 faces imported").arg(knot.faces.size())) << route;
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

  // In German, the other readers' errors: the fixed text translated, what is wrong below it.
  const std::string german = "/Deutsch.quarvel.lang", stl = "solid s\nfacet normal 0 0 1\n";
  std::filesystem::copy_file(QUARVEL_TEST_DATA "/../../lang" + german, dir.Path("") + german);
  auto form = MakeForm();
  form->findChild<QMenu*>("Language1")->actions()[1]->trigger();
  form->Open3DS(QString::fromStdString(dir.Write("bad.stl", {stl.begin(), stl.end()})));
  form->Open3DS(QString::fromStdString(dir.Write("scan.stl", WriteBinaryPly(knot))));
  EXPECT_EQ(QStringList(errors.begin(), errors.end()).join(" | ").toStdString(),
            "Fehler beim Lesen der STL-Datei\nthe file ends where \"outer\" was expected at line 3 "
            "| Ihr Inhalt ist ein PLY-Modell, nicht das STL-Modell, das ihr Name angibt");
}

}  // namespace
}  // namespace quarvel
