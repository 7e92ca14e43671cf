#include "import_3ds.h"

#include <algorithm>
#include <vector>

#include "base/file_io.h"

namespace quarvel {

namespace {

constexpr uint16_t kEditorChunk = 0x3D3D;
constexpr uint16_t kNamedObject = 0x4000;
constexpr uint16_t kTriangleMesh = 0x4100;
constexpr uint16_t kVertexList = 0x4110;
constexpr uint16_t kFaceList = 0x4120;
constexpr int64_t kHeaderSize = 6;
constexpr size_t kMaxNameLength = 70;

constexpr const char* kStreamReadError = "Stream read error";
constexpr const char* kParseError = "Error parsing 3DS file";

struct StreamReadError {};
struct ParseError {};

struct ChunkHeader {
  int64_t start;
  uint16_t id;
  int64_t length;  // signed 32-bit in the file
  int64_t end() const { return start + length; }
};

// Bounds-checked little-endian reads from the file's bytes. Any read past the end throws
// StreamReadError, which ends the load.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}

  int64_t size() const { return static_cast<int64_t>(data_.size()); }
  int64_t pos() const { return pos_; }
  void Seek(int64_t p) { pos_ = p; }
  int64_t Remaining() const { return pos_ >= size() ? 0 : size() - pos_; }

  const uint8_t* Take(int64_t n) {
    if (pos_ < 0 || n < 0 || n > Remaining()) throw StreamReadError{};
    const uint8_t* p = data_.data() + pos_;
    pos_ += n;
    return p;
  }
  uint16_t U16() { return LeU16(Take(2)); }
  int32_t I32() { return static_cast<int32_t>(LeU32(Take(4))); }
  ChunkHeader Header() {
    const int64_t start = pos_;
    const uint16_t id = U16();
    return {start, id, I32()};
  }

 private:
  std::span<const uint8_t> data_;
  int64_t pos_ = 0;
};

bool Aborted() {
  return AbortRequested.load(std::memory_order_relaxed) != 0;
}

class Importer {
 public:
  Importer(Scene& scene, std::span<const uint8_t> file, const Feedback& fb)
      : scene_(scene), in_(file), fb_(fb) {}

  // Walks the main chunk. Returns false when its length is not the file's size.
  bool Run() {
    const ChunkHeader main = in_.Header();
    if (main.length != in_.size()) return false;
    // Room for as many vertices and faces as the file could hold: appending never copies, and
    // pages that are not used are never touched.
    scene_.ModelMesh->Reserve(size_t(in_.size()) / 12, size_t(in_.size()) / 8);
    // The walk is flat: it enters the editor chunk and skips every other chunk whole, and it
    // reads at least one header, so a file of a bare main chunk is a read past the end.
    int64_t walk = in_.pos();
    do {
      in_.Seek(walk);
      const ChunkHeader h = in_.Header();
      if (h.length < kHeaderSize) break;
      walk = h.id == kEditorChunk ? in_.pos() : h.end();
      if (h.id == kNamedObject) ReadNamedObject(h);
    } while (walk < in_.size());
    fb_.Status(0, std::to_string(faceCounter_) + fb_.Tr(" faces imported"));
    fb_.Status(2, "");
    scene_.SetColor(scene_.ObjColor);
    scene_.ModelMesh->SetMaterial(SceneMaterial());
    fb_.Progress(0);
    return true;
  }

  uint32_t faces() const { return faceCounter_; }

 private:
  void ReadNamedObject(const ChunkHeader& object) {
    fb_.Status(0, ReadName());
    for (int64_t next = in_.pos(); next < object.end() && !Aborted();) {
      in_.Seek(next);
      const ChunkHeader h = in_.Header();
      if (h.length < kHeaderSize) break;
      if (h.id == kTriangleMesh) ReadTriangleMesh(h);
      next = h.end();
    }
    fb_.Status(0, "");
  }

  // The bytes up to a zero byte; names longer than 70 characters keep their first 70.
  std::string ReadName() {
    std::string name;
    for (uint8_t c; (c = *in_.Take(1)) != 0;)
      if (name.size() < kMaxNameLength) name.push_back(static_cast<char>(c));
    return name;
  }

  void ReadTriangleMesh(const ChunkHeader& mesh) {
    haveVertices_ = false;
    for (int64_t next = mesh.start + kHeaderSize; next < mesh.end() && !Aborted();) {
      if (in_.size() - next <= kHeaderSize) break;  // a header needs more than 6 bytes left
      in_.Seek(next);
      const ChunkHeader h = in_.Header();
      if (h.length < kHeaderSize) break;
      if (h.id == kVertexList) ReadVertexList();
      if (h.id == kFaceList) ReadFaceList();
      next = h.end();
    }
    haveVertices_ = false;
  }

  // A list's count and its records of `recordSize` bytes. The lists of one load read no more
  // bytes in all than the file holds: a list chunk shorter than its list makes the walk find the
  // next chunks inside the list, and such lists could read the same bytes over and over again.
  const uint8_t* TakeList(uint16_t& count, int64_t recordSize) {
    count = in_.U16();
    const uint8_t* p = in_.Take(int64_t(count) * recordSize);
    listBytes_ += 2 + int64_t(count) * recordSize;
    if (listBytes_ > in_.size()) throw ParseError{};
    return p;
  }

  void ReadVertexList() {
    fb_.Progress(static_cast<int>(in_.pos() * 100 / in_.size()));
    uint16_t count;
    const uint8_t* p = TakeList(count, 12);
    std::vector<Vec3>& list = vertices_;
    list.resize(count);
    haveVertices_ = true;
    // The file's z is the scene's y (up) and the file's y the scene's z (depth).
    for (Vec3& v : list) {
      v = {LeFloat(p), LeFloat(p + 8), LeFloat(p + 4)};
      p += 12;
    }
  }

  void ReadFaceList() {
    if (!haveVertices_) return;  // no vertex list to index: the list is skipped
    uint16_t count;
    const uint8_t* p = TakeList(count, 8);
    if (count > 11) fb_.Status(2, fb_.Tr(" Press ESC to skip"));
    faceRecords_.resize(count);
    for (FaceIndices& f : faceRecords_) {
      fb_.ProcessMessages();
      // Reversing the corners keeps the front of each face on the same side after the
      // exchange of the y and z axes mirrored the model.
      f = {LeU16(p + 4), LeU16(p + 2), LeU16(p)};
      p += 8;
      if (Aborted()) {
        haveVertices_ = false;
        return;
      }
    }
    faceCounter_ += static_cast<uint32_t>(scene_.ModelMesh->AddFaces(vertices_, faceRecords_));
    haveVertices_ = false;
  }

  Scene& scene_;
  Reader in_;
  const Feedback& fb_;
  uint32_t faceCounter_ = 0;
  int64_t listBytes_ = 0;       // the bytes the lists have read so far
  std::vector<Vec3> vertices_;  // the current vertex list, while haveVertices_
  bool haveVertices_ = false;
  std::vector<FaceIndices> faceRecords_;
};

}  // namespace

std::string IsSupportedFile(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  const size_t dot = fileName.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  std::string ext = hasExtension ? fileName.substr(dot) : "";
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".3ds" ? "" : "Unsupported input file type";
}

ImportResult Import3DSFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb) {
  AbortRequested = 0;
  ImportResult result;
  Importer importer(scene, file, fb);
  try {
    result.ok = importer.Run();
    if (!result.ok) result.error = {ErrorKind::Import, kParseError, ""};
  } catch (const StreamReadError&) {
    result.error = {ErrorKind::Import, kStreamReadError, "",
                    file.empty() ? "the file is empty" : ""};
  } catch (const ParseError&) {
    result.error = {ErrorKind::Import, kParseError, ""};
  }
  result.faces = importer.faces();
  AbortRequested = 0;
  return result;
}

ImportResult Import3DS(Scene& scene, const std::string& fileName, const Feedback& fb) {
  // The main chunk's length must be the file's size, which is checked on the first header
  // before the file is read: a file larger than INT32_MAX bytes never matches. A file shorter
  // than a header is read, and its end is a stream read error.
  const FileCheck mainChunkIsTheFile{
      size_t(kHeaderSize), [](uint64_t size, std::span<const uint8_t> head) {
        return head.size() < size_t(kHeaderSize) ||
               static_cast<int32_t>(LeU32(head.data() + 2)) == int64_t(size);
      }};
  FileBytes bytes;
  const FileReadResult read = ReadWholeFile(fileName, bytes, mainChunkIsTheFile);
  if (read.status == FileRead::Ok) return Import3DSFromMemory(scene, bytes.span(), fb);
  AbortRequested = 0;
  switch (read.status) {
    case FileRead::CannotOpen:
      return {false, 0, {ErrorKind::File, "Cannot open file %s", fileName, read.reason}, {}};
    case FileRead::Refused:
      return {false, 0, {ErrorKind::Import, kParseError, ""}, {}};
    default:
      return {false, 0, {ErrorKind::Import, kStreamReadError, ""}, {}};
  }
}

ImportResult LoadModel(Scene& scene, const std::string& fileName, const Feedback& fb) {
  return LoadModelWith(scene, fb, [&](Scene& s) { return Import3DS(s, fileName, fb); });
}

ImportResult LoadModelWith(Scene& scene, const Feedback& fb,
                           const std::function<ImportResult(Scene&)>& import) {
  scene.DXDrawInitialize();
  ImportResult result = import(scene);
  if (result.ok) {
    scene.FitModel();
    scene.ModelTransform = scene.ModelFrame->GetTransform();
    scene.ReferenceDepth = scene.ModelTransform.m[3][2];
  } else {
    scene.DXDrawInitialize();  // nothing of a failed load stays in the scene
  }
  scene.ModelLoaded = result.ok;
  fb.Status(1, "");
  return result;
}

}  // namespace quarvel
