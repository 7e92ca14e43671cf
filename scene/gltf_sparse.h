// The elements of a sparse glTF accessor: its buffer view's elements (zeros without one) with
// some of them replaced by the values its sparse member lists at the indices it lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <tiny_gltf.h>

namespace quarvel {

// Writes the accessor's `count` elements of `elementSize` bytes, packed, into `out`, after every
// offset and count of the sparse indices and values was checked against its views and every
// index against the ones before it (strictly increasing) and the count; nothing is allocated
// before that. The caller bounds count * elementSize. Returns why the elements cannot be made,
// empty when they were.
std::string MaterialiseSparse(const tinygltf::Model& model, const tinygltf::Accessor& accessor,
                              size_t elementSize, std::vector<uint8_t>& out);

}  // namespace quarvel
