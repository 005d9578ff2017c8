#include "plugin/manifest_reader.h"

#include "model/instrument.h"
#include "model/project.h"
#include "platform/byte_io.h"
#include "plugin/manifest_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tw::plugin {

static_assert(kManifestPrefixSize == manifest::kPrefixSize);

namespace {

// The header tag, each byte stored xor the key below. The key is read through a volatile
// so that the compiler cannot fold the real bytes back into the binary as a constant.
constexpr uint8_t kPrefixKey = 0x5A;
volatile uint8_t prefixKey = kPrefixKey;

constexpr std::array<uint8_t, manifest::kTagSize> kMaskedHeaderTag = [] {
    std::array<uint8_t, manifest::kTagSize> masked{};
    for (std::size_t i = 0; i < masked.size(); ++i)
        masked[i] =
            static_cast<uint8_t>(static_cast<uint8_t>(manifest::kHeaderTag[i]) ^ kPrefixKey);
    return masked;
}();

// The manifest's reading: the byte reader, with the first problem found and where.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Left() const { return bytes_.Remaining(); }
    bool AtEnd() const { return bytes_.AtEnd(); }

    bool Word(int32_t& value) {
        const std::size_t at = bytes_.Position();
        if (!bytes_.I32(value)) return FailAt(at, "the manifest ends inside a number");
        return true;
    }

    // Whether the next bytes are `tag` (nothing is consumed).
    bool Next(const char (&tag)[manifest::kTagSize + 1]) const {
        ByteReader peek = bytes_;
        return peek.Match({tag, manifest::kTagSize});
    }

    // The instrument chunk's body; a damaged one leaves the defaults and consumes the rest.
    bool Instrument(InstrumentSettings& s) {
        if (ReadInstrumentChunk(bytes_, s)) return true;
        bytes_.Skip(bytes_.Remaining());
        return false;
    }

    bool Tag(const char (&tag)[manifest::kTagSize + 1]) {
        if (!bytes_.Match({tag, manifest::kTagSize}))
            return Fail(std::string("chunk ") + tag + " is missing");
        return true;
    }

    // The prefix every manifest starts with.
    bool Prefix() {
        const auto prefix = ManifestPrefix();
        if (!bytes_.Match({reinterpret_cast<const char*>(prefix.data()), prefix.size()}))
            return Fail("the manifest does not begin with its header");
        return true;
    }

    // A counted text of at most `limit` bytes (the size of the record's field less its
    // terminator).
    bool Text(std::string& text, int32_t limit, const char* what) {
        int32_t length = 0;
        if (!Word(length)) return false;
        if (length < 0 || length > limit) return Fail(Describe(what, "length", length));
        std::string_view bytes;
        if (static_cast<std::size_t>(length) > Left() ||
            !bytes_.Text(static_cast<std::size_t>(length), bytes))
            return Fail(std::string("the manifest ends inside ") + what);
        text.assign(bytes);
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

    bool Fail(std::string why) { return FailAt(bytes_.Position(), std::move(why)); }

    std::string TakeProblem() { return std::move(problem_); }

    static std::string Describe(const char* what, const char* field, int64_t value) {
        char text[160];
        std::snprintf(text, sizeof text, "%s %s %lld", what, field, static_cast<long long>(value));
        return text;
    }

private:
    bool FailAt(std::size_t at, std::string why) {
        if (problem_.empty()) {
            char where[48];
            std::snprintf(where, sizeof where, " (byte %zu of the manifest)", at);
            problem_ = std::move(why) + where;
        }
        return false;
    }

    ByteReader bytes_;
    std::string problem_;
};

bool ReadIdentity(Reader& r, ManifestIdentity& id) {
    return r.Prefix() && r.Text(id.name, kIdentitySize - 1, "the plugin name") &&
           r.Text(id.author, kIdentitySize - 1, "the author") &&
           r.Text(id.version, kIdentitySize - 1, "the version") &&
           r.Text(id.uniqueId, kIdentitySize - 1, "the unique ID");
}

bool ReadModules(Reader& r, ManifestDesign& d) {
    int32_t n = 0;
    if (!r.Tag(manifest::kModulesTag) || !r.Count(n, kSlotCount, 8, manifest::kModulesTag))
        return false;
    d.modules.reserve(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        ManifestModule m;
        if (!r.Word(m.type) || !r.Word(m.slot)) return false;
        if (m.type < 1 || m.type > kMaxModuleType)
            return r.Fail(Reader::Describe(manifest::kModulesTag, "module type", m.type));
        if (!IsSlot(m.slot)) return r.Fail(Reader::Describe(manifest::kModulesTag, "slot", m.slot));
        // Ascending order is what makes every slot appear once.
        if (!d.modules.empty() && m.slot <= d.modules.back().slot)
            return r.Fail(Reader::Describe(manifest::kModulesTag, "slot out of order", m.slot));
        d.modules.push_back(m);
    }
    return true;
}

bool ReadCables(Reader& r, ManifestDesign& d) {
    int32_t n = 0;
    if (!r.Tag(manifest::kCablesTag) || !r.Count(n, kPortCount, 8, manifest::kCablesTag))
        return false;
    d.cables.reserve(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        ManifestCable c;
        if (!r.Word(c.input) || !r.Word(c.output)) return false;
        if (!IsPort(c.input))
            return r.Fail(Reader::Describe(manifest::kCablesTag, "input port", c.input));
        if (!IsPort(c.output))
            return r.Fail(Reader::Describe(manifest::kCablesTag, "output port", c.output));
        if (!d.cables.empty() && c.input <= d.cables.back().input)
            return r.Fail(Reader::Describe(manifest::kCablesTag, "input out of order", c.input));
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
    if (!r.Tag(manifest::kPatchesTag) || !r.Word(patches)) return false;
    if (patches != kPatchCount)
        return r.Fail(Reader::Describe(manifest::kPatchesTag, "patch count", patches));
    for (const int32_t slot : ParameterSlots(d)) {
        ManifestParameter param;
        param.slot = slot;
        d.parameters.push_back(param);
    }
    // Each Parameter takes one triple in each of the 128 patches.
    if (!ParameterCount(r, d, kPatchCount * 12, manifest::kPatchesTag)) return false;
    d.patchNames.resize(kPatchCount);
    for (int32_t p = 0; p < kPatchCount; ++p) {
        if (!r.Text(d.patchNames[static_cast<std::size_t>(p)], kPatchNameSize - 1, "a patch name"))
            return false;
        for (ManifestParameter& param : d.parameters) {
            int32_t slot = 0, value = 0, steps = 0;
            if (!r.Word(slot) || !r.Word(value) || !r.Word(steps)) return false;
            if (!SameSlot(r, param, slot, manifest::kPatchesTag)) return false;
            // Every patch carries the Parameter's one step count.
            if (p > 0 && steps != param.steps)
                return r.Fail(Reader::Describe(manifest::kPatchesTag, "step count", steps) +
                              " for slot " + std::to_string(slot) + ", patch 0 has " +
                              std::to_string(param.steps));
            param.steps = steps;
            param.patchValues[static_cast<std::size_t>(p)] = value;
        }
    }
    return true;
}

bool ReadPanel(Reader& r, ManifestDesign& d) {
    int32_t words = 0;
    if (!r.Tag(manifest::kPanelTag) || !r.Word(words)) return false;
    if (words != 2) return r.Fail(Reader::Describe(manifest::kPanelTag, "word count", words));
    return r.Word(d.panelWidth) && r.Word(d.panelHeight);
}

bool ReadControls(Reader& r, ManifestDesign& d) {
    if (!r.Tag(manifest::kControlsTag) || !ParameterCount(r, d, 44, manifest::kControlsTag))
        return false;
    for (ManifestParameter& param : d.parameters) {
        int32_t slot = 0, spare = 0, type = 0, zero = 0;
        if (!r.Word(slot) || !SameSlot(r, param, slot, manifest::kControlsTag)) return false;
        if (!r.Word(spare) || !r.Word(type)) return false;
        if (type != kTypeParameter)
            return r.Fail(Reader::Describe(manifest::kControlsTag, "module type", type));
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
    if (!r.Tag(manifest::kStartValuesTag) || !ParameterCount(r, d, 8, manifest::kStartValuesTag))
        return false;
    for (ManifestParameter& param : d.parameters) {
        int32_t slot = 0;
        if (!r.Word(slot) || !SameSlot(r, param, slot, manifest::kStartValuesTag)) return false;
        if (!r.Word(param.startValue)) return false;
    }
    return true;
}

// The optional last chunk: controllers bound to controls. Each names a Parameter of the
// design, in ascending slot order, and a controller 0..127.
bool ReadControllers(Reader& r, ManifestDesign& d) {
    if (r.AtEnd() || r.Next(kInstrumentTag)) return true;
    int32_t n = 0;
    if (!r.Tag(manifest::kControllersTag) ||
        !r.Count(n, static_cast<int32_t>(d.parameters.size()), 8, manifest::kControllersTag))
        return false;
    int32_t previous = kNone;
    for (int32_t i = 0; i < n; ++i) {
        int32_t slot = 0, cc = 0;
        if (!r.Word(slot) || !r.Word(cc)) return false;
        const auto param =
            std::find_if(d.parameters.begin(), d.parameters.end(),
                         [slot](const ManifestParameter& p) { return p.slot == slot; });
        if (param == d.parameters.end() || slot <= previous)
            return r.Fail(Reader::Describe(manifest::kControllersTag, "slot", slot));
        if (cc < 0 || cc >= kControllerCount)
            return r.Fail(Reader::Describe(manifest::kControllersTag, "controller", cc));
        param->midiCc = cc;
        previous = slot;
    }
    return true;
}

// The optional chunk after all others: voices, channel and bend range. A damaged one
// leaves the defaults (one voice on channel 1) and ends the manifest, so that a plugin
// never refuses to load over it.
bool ReadInstrument(Reader& r, ManifestDesign& d) {
    if (r.Next(kInstrumentTag)) {
        r.Tag(kInstrumentTag);
        if (!r.Instrument(d.instrument)) return true;
    }
    if (!r.AtEnd()) return r.Fail(std::to_string(r.Left()) + " bytes follow the last chunk");
    return true;
}

} // namespace

std::array<uint8_t, kManifestPrefixSize> ManifestPrefix() noexcept {
    std::array<uint8_t, kManifestPrefixSize> prefix{};
    const uint8_t key = prefixKey;
    for (std::size_t i = 0; i < manifest::kTagSize; ++i)
        prefix[i] = static_cast<uint8_t>(kMaskedHeaderTag[i] ^ key);
    std::size_t at = manifest::kTagSize;
    for (std::size_t i = 0; i < manifest::kRuleLength; ++i) prefix[at++] = '-';
    // The product name's byte count: one low byte, the other three stay zero.
    static_assert(manifest::kProductTag.size() < 256);
    prefix[at] = static_cast<uint8_t>(manifest::kProductTag.size());
    at += 4;
    std::memcpy(prefix.data() + at, manifest::kProductTag.data(), manifest::kProductTag.size());
    return prefix;
}

Manifest ParseManifest(std::span<const uint8_t> bytes) {
    Manifest m;
    Reader r(bytes);
    m.hasIdentity = ReadIdentity(r, m.identity);
    if (m.hasIdentity) {
        m.hasDesign = ReadModules(r, m.design) && ReadCables(r, m.design) &&
                      ReadPatches(r, m.design) && ReadPanel(r, m.design) &&
                      ReadControls(r, m.design) && ReadStartValues(r, m.design) &&
                      ReadControllers(r, m.design) && ReadInstrument(r, m.design);
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
