#include "dataflash/algorithm_transform.h"

namespace cw::dataflash {
namespace {

template <typename Transform>
AlgorithmArea TransformArea(const AlgorithmArea& in, Transform transform) {
  AlgorithmArea out = in;
  for (std::size_t i = kPageSetCount; i < kSubclassCount; ++i) {
    const SubclassEntry entry = EntryAt(i);
    const std::size_t start = entry.image_offset() - kAlgorithmAreaStart;
    const std::size_t end = start + entry.pages() * kBlockSize;
    for (std::size_t b = start; b < end && b < out.size(); ++b) {
      out[b] = transform(in[b], kSubclassIds[i]);
    }
  }
  return out;
}

}  // namespace

AlgorithmArea AlgorithmAreaToPlain(const AlgorithmArea& stored) {
  return TransformArea(stored, StoredToPlain);
}

AlgorithmArea AlgorithmAreaToStored(const AlgorithmArea& plain) {
  return TransformArea(plain, PlainToStored);
}

}  // namespace cw::dataflash
