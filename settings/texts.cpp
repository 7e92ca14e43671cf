#include "settings/texts.h"

namespace quarvel {

const std::vector<std::string_view>& TranslatableTexts() {
  static const std::vector<std::string_view> texts = {
      // Main window: labels of the control panel.
      "Rotation",
      "Moving",
      "Width",
      "Height",

      // Main window: menus, in menu order.
      "&File",
      "&Open",
      "&Save",
      "&Export animation",
      "&Render",
      "E&xit",
      "&View",
      "Show &hints",
      "Show &toolbar",
      "O&ptions",
      "&Language",
      "&Help",
      "Help &topics",
      "Online H&elp",
      "&Web Site",
      "&About",

      // Main window: hints of the views, the panel controls and the tool buttons.
      "Imported 3D model",
      "The 3D view needs OpenGL, which this display does not offer.",
      "Press and drag to resize model and preview panels",
      "Rotate model around X axis",
      "Rotate model around Y axis",
      "Rotate model around Z axis",
      "Left-Right movement",
      "Down-Up movement",
      "From observer - to observer movement",
      "Width of output mask",
      "Height of output mask",
      "Depth mask preview",
      "Open 3d model file",
      "Save depth mask",
      "Export animation",
      "Render depth mask",
      "Show options dialog",
      "Help topics",
      "Exit",

      // Main window: the first entry of the Language menu.
      "English",

      // Status bar.
      " faces imported",
      " Press ESC to skip",
      "Processing faces...",
      "Drawing...",
      "%s depth mask ready",

      // Messages: model import, rendering, files and the settings file.
      "Error",
      "Unsupported input file type",
      "Error parsing 3DS file",
      "Error parsing OBJ file",
      "Error parsing STL file",
      "Error parsing PLY file",
      "Error parsing glTF file",
      "Can not open vertex",
      "Cannot open file %s",
      "Stream read error",
      "Cannot create file %s",
      "Stream write error",
      "Unable to write to %s",
      "Cannot save the mask over the model %s",
      "Not enough memory to finish this command",
      "This command failed: %s",
      "Cannot find the help page %s",

      // Messages: a model whose content is another format than its extension names.
      "Its content is a 3DS model, not the OBJ model its name says",
      "Its content is a GLB model, not the OBJ model its name says",
      "Its content is a PLY model, not the OBJ model its name says",
      "Its content is a STL model, not the OBJ model its name says",
      "Its content is a glTF model, not the OBJ model its name says",
      "Its content is a 3DS model, not the STL model its name says",
      "Its content is a GLB model, not the STL model its name says",
      "Its content is a PLY model, not the STL model its name says",
      "Its content is a glTF model, not the STL model its name says",
      "Its content is a 3DS model, not the PLY model its name says",
      "Its content is a GLB model, not the PLY model its name says",
      "Its content is a STL model, not the PLY model its name says",
      "Its content is a glTF model, not the PLY model its name says",
      "Its content is a 3DS model, not the glTF model its name says",
      "Its content is a PLY model, not the glTF model its name says",
      "Its content is a STL model, not the glTF model its name says",
      "Its content is a 3DS model, not the GLB model its name says",
      "Its content is a PLY model, not the GLB model its name says",
      "Its content is a STL model, not the GLB model its name says",

      // File dialogs: the names of the file types.
      "All models",
      "3DS file",
      "OBJ file",
      "STL file",
      "PLY file",
      "glTF file",
      "glTF binary file",
      "BitMap Files",
      "AVI files",
      "All files",

      // Animation dialog: caption and controls, top to bottom ("&Render", "E&xit" are above).
      "Animation Settings",
      "Rotation Parameters",
      "Rotation parameters of 3D object",
      "X evolutions per cycle",
      "Y evolutions per cycle",
      "Z evolutions per cycle",
      "Export Mode",
      "Export mode",
      "In BMP sequence",
      "In AVI file",
      "AVI Parameters",
      "Frame rate (fps)",
      "Number of frames per second in AVI file",
      "Com&pression",
      "This button calls compression dialog",
      "Number of frames",
      "The length of AVI file in frames",
      "AVI file length: %8.2f s",
      "Scaling Mode",
      "Check one or more boxes to select scaling mode",
      "by X",
      "by Y",
      "by Z",
      "Export AVI or BMP sequence",
      "&Cancel",

      // Animation dialog: progress and results of a run.
      "Rendering BMP sequence...",
      "Rendering of BMP sequence canceled.",
      "Rendering of BMP sequence finished.",
      "Rendering AVI file, press Cancel to stop...",
      "Error writing rendered frame:",
      "The frame rate must be at least 1 frame per second for an AVI file",
      "The name is too long for the frame files: choose a shorter one.",
      "Rendering of AVI file was canceled.",
      "AVI file was rendered successfully.",

      // AVI: the codec label with no compressor, and the compression options dialog.
      "UNCOMPRESSED",
      "Compression Options",
      "Compressor:",
      "(Full Frames (Uncompressed))",
      "Compression quality:",
      "Key frame every",
      "frames",
      "Data rate",
      "KB/s",

      // Options dialog ("&Cancel" is above).
      "Options",
      "Associate 3DS files with Quarvel",
      "Set or remove file associations of\r\n3ds with Quarvel",
      "Allow single instance of Quarvel",
      "Allow only one or several instances\r\nof Quarvel simultaneously",
      "3D Object Color",
      "Click the shape to change color of 3D object",
      "Light Source Color",
      "Click the shape to change color and brightness of light source",
      "C&hange",
      "&Apply",

      // About box.
      "Program web site:",
      "Contact us:",

      // Help: the help file's name, so a language can bring its own help.
      "quarvel.chm",

      // The locale of the texts: a language names its own, for its numbers and Qt's dialogs.
      "en_US",
  };
  return texts;
}

}  // namespace quarvel
