#include "plugin/manifest_reader.h"

#include "model/project.h"

#include <cstdio>
#include <cstring>

namespace tw::plugin {

namespace {

// The prefix bytes, each stored xor the key below. The key is read through a volatile so
// that the compiler cannot fold the real bytes back into the binary as a constant.
constexpr uint8_t kPrefixKey = 0x5A;
volatile uint8_t prefixKey = kPrefixKey;

constexpr const char* kProductTag = kProductName;

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Position() const { return pos_; }
    std::size_t Left() const { return bytes_.size() - pos_; }
    bool AtEnd() const { return pos_ == bytes_.size(); }

    bool Word(int32_t& value) {
        if (Left() < 4) return Fail("the manifest ends inside a number");
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | bytes_[pos_ + static_cast<std::size_t>(i)];
        pos_ += 4;
        value = static_cast<int32_t>(v);
        return true;
    }

    bool Tag(const char (&tag)[5]) {
        if (Left() < 4 || std::memcmp(bytes_.data() + pos_, tag, 4) != 0) {
            return Fail(std::string("chunk ") + tag + " is missing");
        }
        pos_ += 4;
        return true;
    }

    // A counted text of at most `limit` bytes (the size of the record's field less its
    // terminator).
    bool Text(std::string& text, int32_t limit, const char* what) {
        int32_t length = 0;
        if (!Word(length)) return false;
        if (length < 0 || length > limit) return Fail(Describe(what, "length", length));
        if (static_cast<std::size_t>(length) > Left())
            return Fail(std::string("the manifest ends inside ") + what);
        text.assign(reinterpret_cast<const char*>(bytes_.data() + pos_),
                    static_cast<std::size_t>(length));
        pos_ += static_cast<std::size_t>(length);
        return true;
    }

    // A count of entries of `entryBytes` bytes each, at most `limit` of them, that must
    // fit in what is left (so that a huge count never reserves memory).
    bool Count(int32_t& count, int32_t limit, std::size_t entryBytes, const char* what) {
        if (!Word(count)) return false;
        if (count < 0 || count > limit) return Fail(Describe(what, "count", count));
        if (static_cast<std::size_t>(count) * entryBytes > Left())
            return Fail(Describe(what, "count", count) + " is more than the bytes left");
        return true;
    }

    bool Fail(std::string why) {
        if (problem_.empty()) {
            char at[48];
            std::snprintf(at, sizeof at, " (byte %zu of the manifest)", pos_);
            problem_ = std::move(why) + at;
        }
        return false;
    }

    std::string TakeProblem() { return std::move(problem_); }

    static std::string Describe(const char* what, const char* field, int64_t value) {
        char text[160];
        std::snprintf(text, sizeof text, "%s %s %lld", what, field, static_cast<long long>(value));
        return text;
    }

private:
    std::span<const uint8_t> bytes_;
    std::size_t pos_ = 0;
    std::string problem_;
};

bool ReadIdentity(Reader& r, std::span<const uint8_t> bytes, ManifestIdentity& id) {
    const auto prefix = ManifestPrefix();
    if (bytes.size() < prefix.size() || std::memcmp(bytes.data(), prefix.data(), prefix.size()))
        return r.Fail("the manifest does not begin with its header");
    // Step over the prefix with the reader so that positions in messages stay true.
    int32_t skip = 0;
    for (int i = 0; i < 9; ++i) r.Word(skip); // "HED#" and the 32 hyphens
    std::string tag;
    if (!r.Text(tag, 10, "the product tag")) return false;
    return r.Text(id.name, kIdentitySize - 1, "the plugin name") &&
           r.Text(id.author, kIdentitySize - 1, "the author") &&
           r.Text(id.version, kIdentitySize - 1, "the version") &&
           r.Text(id.uniqueId, kIdentitySize - 1, "the unique ID");
}

bool ReadModules(Reader& r, ManifestDesign& d) {
    int32_t n = 0;
    if (!r.Tag("MOD#") || !r.Count(n, kSlotCount, 8, "MOD#")) return false;
    d.modules.reserve(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        ManifestModule m;
        if (!r.Word(m.type) || !r.Word(m.slot)) return false;
        if (m.type < 1 || m.type > kMaxModuleType)
            return r.Fail(Reader::Describe("MOD#", "module type", m.type));
        if (!IsSlot(m.slot)) return r.Fail(Reader::Describe("MOD#", "slot", m.slot));
        // Ascending order is what makes every slot appear once.
        if (!d.modules.empty() && m.slot <= d.modules.back().slot)
            return r.Fail(Reader::Describe("MOD#", "slot out of order", m.slot));
        d.modules.push_back(m);
    }
    return true;
}

bool ReadCables(Reader& r, ManifestDesign& d) {
    int32_t n = 0;
    if (!r.Tag("PLG#") || !r.Count(n, kPortCount, 8, "PLG#")) return false;
    d.cables.reserve(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        ManifestCable c;
        if (!r.Word(c.input) || !r.Word(c.output)) return false;
        if (!IsPort(c.input)) return r.Fail(Reader::Describe("PLG#", "input port", c.input));
        if (!IsPort(c.output)) return r.Fail(Reader::Describe("PLG#", "output port", c.output));
        if (!d.cables.empty() && c.input <= d.cables.back().input)
            return r.Fail(Reader::Describe("PLG#", "input out of order", c.input));
        d.cables.push_back(c);
    }
    return true;
}

// The Parameter slots in the order MOD# lists them: every later chunk names them again,
// in the same order, and must name exactly these.
std::vector<int32_t> ParameterSlots(const ManifestDesign& d) {
    std::vector<int32_t> slots;
    for (const ManifestModule& m : d.modules)
        if (m.type == kTypeParameter) slots.push_back(m.slot);
    return slots;
}

bool ParameterCount(Reader& r, const ManifestDesign& d, std::size_t entryBytes, const char* what) {
    int32_t p = 0;
    if (!r.Count(p, kSlotCount, entryBytes, what)) return false;
    if (static_cast<std::size_t>(p) != d.parameters.size())
        return r.Fail(Reader::Describe(what, "Parameter count", p) + ", MOD# has " +
                      std::to_string(d.parameters.size()));
    return true;
}

bool SameSlot(Reader& r, const ManifestParameter& param, int32_t slot, const char* what) {
    if (slot == param.slot) return true;
    return r.Fail(Reader::Describe(what, "slot", slot) + " where MOD# has Parameter slot " +
                  std::to_string(param.slot));
}

bool ReadPatches(Reader& r, ManifestDesign& d) {
    int32_t patches = 0;
    if (!r.Tag("PAT#") || !r.Word(patches)) return false;
    if (patches != kPatchCount) return r.Fail(Reader::Describe("PAT#", "patch count", patches));
    for (const int32_t slot : ParameterSlots(d)) {
        ManifestParameter param;
        param.slot = slot;
        d.parameters.push_back(param);
    }
    // Each Parameter takes one triple in each of the 128 patches.
    if (!ParameterCount(r, d, kPatchCount * 12, "PAT#")) return false;
    d.patchNames.resize(kPatchCount);
    for (int32_t p = 0; p < kPatchCount; ++p) {
        if (!r.Text(d.patchNames[static_cast<std::size_t>(p)], kPatchNameSize - 1, "a patch name"))
            return false;
        for (ManifestParameter& param : d.parameters) {
            int32_t slot = 0, value = 0, steps = 0;
            if (!r.Word(slot) || !r.Word(value) || !r.Word(steps)) return false;
            if (!SameSlot(r, param, slot, "PAT#")) return false;
            // Every patch carries the Parameter's one step count.
            if (p > 0 && steps != param.steps)
                return r.Fail(Reader::Describe("PAT#", "step count", steps) + " for slot " +
                              std::to_string(slot) + ", patch 0 has " +
                              std::to_string(param.steps));
            param.steps = steps;
            param.patchValues[static_cast<std::size_t>(p)] = value;
        }
    }
    return true;
}

bool ReadPanel(Reader& r, ManifestDesign& d) {
    int32_t words = 0;
    if (!r.Tag("GUI#") || !r.Word(words)) return false;
    if (words != 2) return r.Fail(Reader::Describe("GUI#", "word count", words));
    return r.Word(d.panelWidth) && r.Word(d.panelHeight);
}

bool ReadControls(Reader& r, ManifestDesign& d) {
    if (!r.Tag("PAR#") || !ParameterCount(r, d, 44, "PAR#")) return false;
    for (ManifestParameter& param : d.parameters) {
        int32_t slot = 0, spare = 0, type = 0, zero = 0;
        if (!r.Word(slot) || !SameSlot(r, param, slot, "PAR#")) return false;
        if (!r.Word(spare) || !r.Word(type)) return false;
        if (type != kTypeParameter) return r.Fail(Reader::Describe("PAR#", "module type", type));
        if (!r.Word(param.imageType) || !r.Word(param.panelX) || !r.Word(param.panelY) ||
            !r.Word(param.controlSize) || !r.Word(param.mouseResponse) ||
            !r.Text(param.name, kNameSize - 1, "a Parameter name") || !r.Word(param.showLabel) ||
            !r.Word(zero)) {
            return false;
        }
    }
    return true;
}

bool ReadStartValues(Reader& r, ManifestDesign& d) {
    if (!r.Tag("PAX#") || !ParameterCount(r, d, 8, "PAX#")) return false;
    for (ManifestParameter& param : d.parameters) {
        int32_t slot = 0;
        if (!r.Word(slot) || !SameSlot(r, param, slot, "PAX#")) return false;
        if (!r.Word(param.startValue)) return false;
    }
    if (!r.AtEnd()) return r.Fail(std::to_string(r.Left()) + " bytes follow the last chunk");
    return true;
}

} // namespace

std::array<uint8_t, kManifestPrefixSize> ManifestPrefix() noexcept {
    // "HED#", 32 '-', the word 10 and "Tonewright", each byte xor kPrefixKey.
    static constexpr uint8_t kMasked[kManifestPrefixSize] = {'H' ^ kPrefixKey, 'E' ^ kPrefixKey,
                                                             'D' ^ kPrefixKey, '#' ^ kPrefixKey};
    std::array<uint8_t, kManifestPrefixSize> prefix{};
    const uint8_t key = prefixKey;
    for (std::size_t i = 0; i < 4; ++i) prefix[i] = kMasked[i] ^ key;
    for (std::size_t i = 4; i < 36; ++i) prefix[i] = static_cast<uint8_t>('-');
    prefix[36] = static_cast<uint8_t>(std::strlen(kProductTag));
    std::memcpy(prefix.data() + 40, kProductTag, 10);
    return prefix;
}

Manifest ParseManifest(std::span<const uint8_t> bytes) {
    Manifest m;
    Reader r(bytes);
    m.hasIdentity = ReadIdentity(r, bytes, m.identity);
    if (m.hasIdentity) {
        m.hasDesign = ReadModules(r, m.design) && ReadCables(r, m.design) &&
                      ReadPatches(r, m.design) && ReadPanel(r, m.design) &&
                      ReadControls(r, m.design) && ReadStartValues(r, m.design);
    }
    if (!m.hasDesign) m.design = ManifestDesign{};
    m.problem = r.TakeProblem();
    return m;
}

Manifest FindManifest(std::span<const uint8_t> file) {
    const auto prefix = ManifestPrefix();
    Manifest nearest;
    bool haveNearest = false;
    if (file.size() >= prefix.size()) {
        for (std::size_t at = file.size() - prefix.size() + 1; at-- > 0;) {
            if (file[at] != prefix[0] || std::memcmp(&file[at], prefix.data(), prefix.size()))
                continue;
            Manifest m = ParseManifest(file.subspan(at));
            m.offset = at;
            if (m.hasDesign) return m;
            if (!haveNearest) {
                nearest = std::move(m);
                haveNearest = true;
            }
        }
    }
    if (!haveNearest) nearest.problem = "the file holds no manifest";
    return nearest;
}

} // namespace tw::plugin
