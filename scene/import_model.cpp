#include "model_formats.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "base/file_io.h"
#include "import_text.h"

namespace quarvel {

namespace {

struct FormatName {
  std::string_view extension;
  ModelFormat format;
  std::string_view name;  // as messages call it
};

constexpr FormatName kFormats[] = {
    {".3ds", ModelFormat::Max3ds, "3DS"}, {".obj", ModelFormat::Obj, "OBJ"},
    {".stl", ModelFormat::Stl, "STL"},    {".ply", ModelFormat::Ply, "PLY"},
    {".gltf", ModelFormat::Gltf, "glTF"}, {".glb", ModelFormat::Glb, "GLB"},
};

std::string_view NameOf(ModelFormat format) {
  for (const FormatName& f : kFormats)
    if (f.format == format) return f.name;
  return {};
}

bool StartsWith(std::span<const uint8_t> bytes, std::string_view text) {
  return bytes.size() >= text.size() && std::equal(text.begin(), text.end(), bytes.begin());
}

std::span<const uint8_t> SkipBlanks(std::span<const uint8_t> bytes) {
  size_t i = 0;
  while (i < bytes.size() && std::isspace(bytes[i]))
    ++i;
  return bytes.subspan(i);
}

// The format the bytes show by their first bytes or their size, where they show one. An OBJ file
// has no mark of its own: it is never recognised here, only read.
std::optional<ModelFormat> FormatOfContent(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 6 && LeU16(bytes.data()) == 0x4D4D && LeU32(bytes.data() + 2) == bytes.size())
    return ModelFormat::Max3ds;
  if (StartsWith(bytes, "glTF")) return ModelFormat::Glb;
  if (StartsWith(bytes, "ply\n") || StartsWith(bytes, "ply\r\n")) return ModelFormat::Ply;
  if (bytes.size() >= 84 && (bytes.size() - 84) / 50 == LeU32(bytes.data() + 80) &&
      (bytes.size() - 84) % 50 == 0)
    return ModelFormat::Stl;
  const auto text = SkipBlanks(bytes);
  const std::string_view head(reinterpret_cast<const char*>(text.data()),
                              std::min<size_t>(text.size(), 5));
  if (import_text::IsKeyword(head, "solid"))
    return ModelFormat::Stl;  // any case, as STL readers take it
  if (StartsWith(text, "{")) return ModelFormat::Gltf;
  return std::nullopt;
}

// A model that loaded without a triangle draws nothing: its reader says why when it knows.
ImportResult WithNoTrianglesSaid(ImportResult result) {
  if (result.ok && result.faces == 0 && result.warning.empty())
    result.warning = "holds no triangles";
  return result;
}

std::string FolderOf(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  return slash == std::string::npos ? "." : fileName.substr(0, slash == 0 ? 1 : slash);
}

ImportResult ImportBytes(Scene& scene, ModelFormat format, std::span<const uint8_t> bytes,
                         const std::string& fileName, const Feedback& fb) {
  switch (format) {
    case ModelFormat::Max3ds:
      return Import3DSFromMemory(scene, bytes, fb);
    case ModelFormat::Obj:
      return ImportOBJFromMemory(scene, bytes, fb);
    case ModelFormat::Stl:
      return ImportSTLFromMemory(scene, bytes, fb);
    case ModelFormat::Ply:
      return ImportPLYFromMemory(scene, bytes, fb);
    case ModelFormat::Gltf:
    case ModelFormat::Glb:
      return ImportGLTFFromMemory(scene, bytes, format == ModelFormat::Glb, FolderOf(fileName), fb);
  }
  return {};
}

}  // namespace

std::optional<ModelFormat> FormatOfName(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  std::string ext = fileName.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const FormatName& f : kFormats)
    if (f.extension == ext) return f.format;
  return std::nullopt;
}

ImportResult ImportModel(Scene& scene, const std::string& fileName, const Feedback& fb) {
  const std::optional<ModelFormat> format = FormatOfName(fileName);
  if (!format) return {false, 0, {ErrorKind::Import, "Unsupported input file type", ""}, {}};
  // A .3ds file is checked on its first bytes before it is read.
  if (*format == ModelFormat::Max3ds) return WithNoTrianglesSaid(Import3DS(scene, fileName, fb));
  FileBytes bytes;
  const FileReadResult read = ReadWholeFile(fileName, bytes);
  AbortRequested = 0;
  if (read.status == FileRead::CannotOpen)
    return {false, 0, {ErrorKind::File, "Cannot open file %s", fileName, read.reason}, {}};
  if (read.status != FileRead::Ok)
    return {false, 0, {ErrorKind::Import, "Stream read error", "", read.reason}, {}};
  const std::optional<ModelFormat> content = FormatOfContent(bytes.span());
  const bool sameFamily = (*format == ModelFormat::Gltf || *format == ModelFormat::Glb) &&
                          (content == ModelFormat::Gltf || content == ModelFormat::Glb);
  if (content && *content != *format && !sameFamily) {
    const std::string text = "Its content is a " + std::string(NameOf(*content)) +
                             " model, not the " + std::string(NameOf(*format)) +
                             " model its name says";
    return {false, 0, {ErrorKind::Import, text, ""}, {}};
  }
  return WithNoTrianglesSaid(
      ImportBytes(scene, content && sameFamily ? *content : *format, bytes.span(), fileName, fb));
}

ImportResult LoadAnyModel(Scene& scene, const std::string& fileName, const Feedback& fb) {
  return LoadModelWith(scene, fb, [&](Scene& s) { return ImportModel(s, fileName, fb); });
}

}  // namespace quarvel
