// The few facts of a HEIF/AVIF file's item boxes that the codec weighs before libheif decodes
// anything: how many items it declares and how much coded picture its primary is made of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace heif_layout {

struct ItemLayout {
    uint64_t items = 0;  // all items declared: tiles, thumbnails, metadata
    // For a primary picture composed of coded pictures (grid tiles, overlay layers): how many
    // there are and the sum of the areas their bitstreams code, which may be far more than they
    // show; UINT64_MAX when a part's coded size cannot be read. Both 0 for a coded primary.
    uint64_t parts = 0;
    uint64_t partsCodedArea = 0;
};

// Past maxItems declared items the walk stops (items is then all it reports): it never holds
// more than that many of anything.
ItemLayout itemLayout(const std::vector<uint8_t>& file, uint64_t maxItems);

// The picture size an HEVC decoder configuration ('hvcC' contents) codes, from its sequence
// parameter set; false when it has none that reads.
bool hevcCodedSize(const uint8_t* config, size_t length, uint32_t& width, uint32_t& height);
// The largest frame an AV1 bitstream's sequence header allows; false when the data does not
// start with one (after temporal delimiters and padding).
bool av1CodedSize(const uint8_t* data, size_t length, uint32_t& width, uint32_t& height);

}  // namespace heif_layout
