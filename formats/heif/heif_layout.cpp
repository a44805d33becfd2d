// A bounds-checked walk over the ISO BMFF boxes of a HEIF/AVIF file: item count, the primary's
// parts, and the coded sizes their HEVC parameter sets or AV1 sequence headers declare.
#include "formats/heif/heif_layout.h"

#include <algorithm>
#include <map>
#include <set>

namespace heif_layout {

namespace {

constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

// Unsigned big-endian fields of 0 to 8 bytes inside [begin, end).
struct Span {
    const std::vector<uint8_t>& file;
    size_t at, end;

    bool read(size_t bytes, uint64_t& v) {
        if (at > end || end - at < bytes) return false;
        v = 0;
        for (size_t i = 0; i < bytes; ++i) v = v << 8 | file[at + i];
        at += bytes;
        return true;
    }
    bool skip(size_t bytes) {
        if (at > end || end - at < bytes) return false;
        at += bytes;
        return true;
    }
};

struct Box {
    uint32_t type = 0;
    size_t contents = 0, end = 0;
};

// The boxes inside [at, end), until one does not fit or `limit` are found.
std::vector<Box> children(const std::vector<uint8_t>& file, size_t at, size_t end, uint64_t limit) {
    std::vector<Box> boxes;
    while (at < end && end - at >= 8 && boxes.size() < limit) {
        Span s{file, at, end};
        uint64_t size = 0, type = 0;
        s.read(4, size);
        s.read(4, type);
        if (size == 1 && !s.read(8, size)) break;  // a 64-bit size follows the type
        if (size == 0) size = end - at;            // to the end of the enclosing box
        if (size < s.at - at || size > end - at) break;
        boxes.push_back(Box{uint32_t(type), s.at, at + size_t(size)});
        at += size_t(size);
    }
    return boxes;
}

const Box* find(const std::vector<Box>& boxes, const char (&type)[5]) {
    for (const Box& b : boxes)
        if (b.type == fourcc(type)) return &b;
    return nullptr;
}

// The version of a full box; its contents start 4 bytes on.
int version(const std::vector<uint8_t>& file, const Box& b) {
    return b.contents < b.end ? file[b.contents] : -1;
}

// MSB-first bits of an RBSP (emulation prevention bytes already removed) or an OBU.
struct Bits {
    const uint8_t* data;
    size_t length, bit = 0;
    bool failed = false;

    uint64_t u(int n) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i, ++bit) {
            if (bit >= length * 8) {
                failed = true;
                return 0;
            }
            v = v << 1 | ((data[bit / 8] >> (7 - bit % 8)) & 1);
        }
        return v;
    }
    // Exp-Golomb (HEVC ue(v)) and AV1's uvlc share their shape.
    uint64_t ue() {
        int zeros = 0;
        while (!failed && u(1) == 0)
            if (++zeros > 31) failed = true;
        return failed ? 0 : (uint64_t(1) << zeros) - 1 + u(zeros);
    }
};

struct ItemLocation {
    uint64_t offset = 0, length = 0;
    bool inFile = false;  // one extent of the file itself (not of idat or another file)
};

std::map<uint64_t, ItemLocation> itemLocations(const std::vector<uint8_t>& file, const Box& iloc,
                                               const std::set<uint64_t>& wanted) {
    std::map<uint64_t, ItemLocation> locations;
    const int v = version(file, iloc);
    Span s{file, iloc.contents + 4, iloc.end};
    uint64_t sizes = 0, count = 0;
    if (v < 0 || v > 2 || !s.read(2, sizes) || !s.read(v < 2 ? 2 : 4, count)) return locations;
    const size_t offsetSize = sizes >> 12 & 15, lengthSize = sizes >> 8 & 15;
    const size_t baseSize = sizes >> 4 & 15, indexSize = v > 0 ? (sizes & 15) : 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t id = 0, method = 0, reference = 0, base = 0, extents = 0;
        if (!s.read(v < 2 ? 2 : 4, id) || (v > 0 && !s.read(2, method)) || !s.read(2, reference) ||
            !s.read(baseSize, base) || !s.read(2, extents))
            break;
        ItemLocation location;
        for (uint64_t e = 0; e < extents; ++e) {
            uint64_t offset = 0, length = 0;
            if (!s.skip(indexSize) || !s.read(offsetSize, offset) || !s.read(lengthSize, length))
                return locations;
            if (e == 0) location = ItemLocation{base + offset, length, true};
        }
        location.inFile = location.inFile && extents == 1 && (method & 15) == 0 && reference == 0;
        if (wanted.count(id)) locations[id] = location;
    }
    return locations;
}

// The 1-based property indices each item is associated with.
std::map<uint64_t, std::vector<uint64_t>> associations(const std::vector<uint8_t>& file,
                                                       const Box& ipma,
                                                       const std::set<uint64_t>& wanted) {
    std::map<uint64_t, std::vector<uint64_t>> byItem;
    const int v = version(file, ipma);
    const bool wideIndex = ipma.contents + 3 < ipma.end && (file[ipma.contents + 3] & 1);
    Span s{file, ipma.contents + 4, ipma.end};
    uint64_t count = 0;
    if (v < 0 || !s.read(4, count)) return byItem;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t id = 0, n = 0;
        if (!s.read(v < 1 ? 2 : 4, id) || !s.read(1, n)) break;
        for (uint64_t k = 0; k < n; ++k) {
            uint64_t entry = 0;
            if (!s.read(wideIndex ? 2 : 1, entry)) return byItem;
            if (wanted.count(id)) byItem[id].push_back(entry & (wideIndex ? 0x7FFF : 0x7F));
        }
    }
    return byItem;
}

}  // namespace

bool hevcCodedSize(const uint8_t* config, size_t length, uint32_t& width, uint32_t& height) {
    // 22 bytes of profile and format fields, then arrays of parameter sets.
    if (length < 23) return false;
    size_t at = 23;
    for (unsigned array = 0; array < config[22]; ++array) {
        if (length - at < 3) return false;
        const unsigned type = config[at] & 0x3F;
        const unsigned count = unsigned(config[at + 1]) << 8 | config[at + 2];
        at += 3;
        for (unsigned n = 0; n < count; ++n) {
            if (length - at < 2) return false;
            const size_t size = size_t(config[at]) << 8 | config[at + 1];
            at += 2;
            if (length - at < size) return false;
            const uint8_t* nal = config + at;
            at += size;
            if (type != 33 || size < 3) continue;  // 33: sequence parameter set
            // The RBSP after the two-byte NAL header, without emulation prevention bytes.
            std::vector<uint8_t> rbsp;
            int zeros = 0;
            for (size_t i = 2; i < size; ++i) {
                if (zeros >= 2 && nal[i] == 3) {
                    zeros = 0;
                    continue;
                }
                zeros = nal[i] == 0 ? zeros + 1 : 0;
                rbsp.push_back(nal[i]);
            }
            Bits b{rbsp.data(), rbsp.size()};
            b.u(4);
            const int subLayers = int(b.u(3));
            b.u(1);
            b.u(96);  // general profile, tier and level
            bool profile[8] = {}, level[8] = {};
            for (int i = 0; i < subLayers; ++i) profile[i] = b.u(1), level[i] = b.u(1);
            if (subLayers > 0) b.u(2 * (8 - subLayers));
            for (int i = 0; i < subLayers; ++i) b.u((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
            b.ue();
            if (b.ue() == 3) b.u(1);  // 4:4:4 with separate colour planes
            const uint64_t w = b.ue(), h = b.ue();
            if (b.failed || w == 0 || h == 0 || w > UINT32_MAX || h > UINT32_MAX) return false;
            width = uint32_t(w);
            height = uint32_t(h);
            return true;
        }
    }
    return false;
}

bool av1CodedSize(const uint8_t* data, size_t length, uint32_t& width, uint32_t& height) {
    size_t at = 0;
    for (int obu = 0; obu < 8 && at < length; ++obu) {
        const uint8_t header = data[at++];
        const unsigned type = header >> 3 & 15;
        if (header & 4) ++at;  // extension header
        uint64_t size = length - std::min(at, length);
        if (header & 2) {  // leb128 size
            size = 0;
            for (int i = 0;; ++i) {
                if (at >= length || i == 8) return false;
                size |= uint64_t(data[at] & 0x7F) << (7 * i);
                if (!(data[at++] & 0x80)) break;
            }
        }
        if (at > length || size > length - at) return false;
        if (type != 1) {  // not the sequence header: temporal delimiter, padding, metadata
            at += size_t(size);
            continue;
        }
        Bits b{data + at, size_t(size)};
        b.u(3);
        b.u(1);
        if (b.u(1)) {  // reduced still-picture header: one level
            b.u(5);
        } else {
            bool decoderModel = false;
            int delayLength = 0;
            if (b.u(1)) {  // timing info
                b.u(64);
                if (b.u(1)) b.ue();
                if ((decoderModel = b.u(1))) {
                    delayLength = int(b.u(5)) + 1;
                    b.u(32 + 5 + 5);
                }
            }
            const bool displayDelay = b.u(1);
            const int points = int(b.u(5)) + 1;
            for (int i = 0; i < points && !b.failed; ++i) {
                b.u(12);
                if (b.u(5) > 7) b.u(1);
                if (decoderModel && b.u(1)) b.u(2 * delayLength + 1);
                if (displayDelay && b.u(1)) b.u(4);
            }
        }
        const int widthBits = int(b.u(4)) + 1, heightBits = int(b.u(4)) + 1;
        const uint64_t w = b.u(widthBits) + 1, h = b.u(heightBits) + 1;
        if (b.failed) return false;
        width = uint32_t(w);
        height = uint32_t(h);
        return true;
    }
    return false;
}

ItemLayout itemLayout(const std::vector<uint8_t>& file, uint64_t maxItems) {
    ItemLayout layout;
    // Real files have a handful of top-level and meta boxes and a few properties per item.
    constexpr uint64_t kMaxBoxes = 1024;
    const std::vector<Box> top = children(file, 0, file.size(), kMaxBoxes);
    const Box* meta = find(top, "meta");
    if (!meta) return layout;
    // meta and the item boxes are full boxes: a version and flags come first.
    const std::vector<Box> boxes = children(file, meta->contents + 4, meta->end, kMaxBoxes);
    const Box* pitm = find(boxes, "pitm");
    const Box* iinf = find(boxes, "iinf");
    uint64_t primary = UINT64_MAX;
    if (pitm)
        Span{file, pitm->contents + 4, pitm->end}.read(version(file, *pitm) == 0 ? 2 : 4, primary);
    if (!iinf) return layout;
    Span counts{file, iinf->contents + 4, iinf->end};
    if (!counts.read(version(file, *iinf) == 0 ? 2 : 4, layout.items) || layout.items > maxItems)
        return layout;

    // The items the primary references as derived images (grid tiles, overlay layers).
    std::vector<uint64_t> parts;
    if (const Box* iref = find(boxes, "iref")) {
        const size_t idBytes = version(file, *iref) == 0 ? 2 : 4;
        for (const Box& r : children(file, iref->contents + 4, iref->end, maxItems)) {
            Span s{file, r.contents, r.end};
            uint64_t from = 0, count = 0, to = 0;
            if (r.type != fourcc("dimg") || !s.read(idBytes, from) || from != primary ||
                !s.read(2, count))
                continue;
            for (uint64_t i = 0; i < count && parts.size() <= maxItems && s.read(idBytes, to); ++i)
                parts.push_back(to);
        }
    }
    std::set<uint64_t> wanted(parts.begin(), parts.end());
    wanted.insert(primary);
    std::map<uint64_t, uint32_t> types;
    for (const Box& infe : children(file, counts.at, iinf->end, layout.items)) {
        // Versions 2 and 3 name the item's type after its number and protection index.
        const int v = version(file, infe);
        uint64_t id = 0, type = 0;
        Span s{file, infe.contents + 4, infe.end};
        if (infe.type == fourcc("infe") && v >= 2 && s.read(v == 2 ? 2 : 4, id) && s.skip(2) &&
            s.read(4, type) && wanted.count(id))
            types[id] = uint32_t(type);
    }
    const uint32_t primaryType = types.count(primary) ? types[primary] : 0;
    if (primaryType == fourcc("hvc1") || primaryType == fourcc("av01")) return layout;

    layout.parts = std::max<uint64_t>(parts.size(), 1);
    layout.partsCodedArea = UINT64_MAX;
    if (parts.empty() || parts.size() > maxItems) return layout;

    std::vector<Box> properties;
    std::map<uint64_t, std::vector<uint64_t>> byItem;
    if (const Box* iprp = find(boxes, "iprp")) {
        const std::vector<Box> inner = children(file, iprp->contents, iprp->end, kMaxBoxes);
        if (const Box* ipco = find(inner, "ipco"))
            properties = children(file, ipco->contents, ipco->end, kMaxBoxes + 4 * maxItems);
        if (const Box* ipma = find(inner, "ipma")) byItem = associations(file, *ipma, wanted);
    }
    const Box* iloc = find(boxes, "iloc");
    const std::map<uint64_t, ItemLocation> locations =
        iloc ? itemLocations(file, *iloc, wanted) : std::map<uint64_t, ItemLocation>{};

    uint64_t area = 0;
    for (const uint64_t part : parts) {
        uint32_t w = 0, h = 0;
        bool known = false;
        const uint32_t type = types.count(part) ? types[part] : 0;
        if (type == fourcc("hvc1")) {
            for (const uint64_t index : byItem[part])
                if (index >= 1 && index <= properties.size() &&
                    properties[index - 1].type == fourcc("hvcC")) {
                    const Box& p = properties[index - 1];
                    known = hevcCodedSize(file.data() + p.contents, p.end - p.contents, w, h);
                    break;
                }
        } else if (type == fourcc("av01")) {
            const auto found = locations.find(part);
            if (found != locations.end() && found->second.inFile &&
                found->second.offset <= file.size() &&
                found->second.length <= file.size() - found->second.offset)
                known = av1CodedSize(file.data() + found->second.offset,
                                     size_t(found->second.length), w, h);
        }
        if (!known) return layout;
        area += uint64_t(w) * h;
    }
    layout.partsCodedArea = area;
    return layout;
}

}  // namespace heif_layout
