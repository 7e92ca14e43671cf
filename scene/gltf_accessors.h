// Where a glTF accessor's elements lie in the bytes tinygltf loaded, found only after every offset,
// length, stride and count was checked against the buffer view and the buffer, so that reading
// the elements cannot leave the buffer however large the numbers in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <tiny_gltf.h>

namespace quarvel {

struct AccessorElements {
  const uint8_t* first = nullptr;  // the first element's bytes
  size_t count = 0;
  size_t stride = 0;  // the bytes from one element to the next
  const uint8_t* At(size_t i) const { return first + i * stride; }
};

// Locates the elements of `accessor`, each `elementSize` bytes, in its buffer view (tightly
// packed when the view gives no stride). Returns why they cannot be read, empty when they can:
// a sparse accessor or one without a buffer view, a view or buffer that does not exist, a stride
// smaller than an element, a view that runs past its buffer or elements that run past their view.
std::string LocateElements(const tinygltf::Model& model, const tinygltf::Accessor& accessor,
                           size_t elementSize, AccessorElements& out);

}  // namespace quarvel
