#include "plugin/ui/bundle_reader.h"

#include "model/skin_files.h"
#include "model/text.h"
#include "platform/bmp.h"
#include "plugin/lv2_contract.h"

#include <cstdio>
#include <dirent.h>
#include <optional>

namespace tw::ui {

namespace {

// The largest file the window reads: a plugin binary with a big design, or a bitmap.
constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;

std::optional<std::vector<uint8_t>> ReadBytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && bytes.size() <= kMaxFileBytes)
        bytes.insert(bytes.end(), buffer, buffer + n);
    const bool failed = std::ferror(f) != 0 || bytes.size() > kMaxFileBytes;
    std::fclose(f);
    if (failed) return std::nullopt;
    return bytes;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The IRI that follows `predicate` in the text, without its angle brackets.
std::string_view IriAfter(std::string_view text, std::string_view predicate) {
    const std::size_t at = text.find(predicate);
    if (at == std::string_view::npos) return {};
    const std::size_t open = text.find('<', at + predicate.size());
    const std::size_t close = open == std::string_view::npos ? open : text.find('>', open);
    if (close == std::string_view::npos) return {};
    return text.substr(open + 1, close - open - 1);
}

// The file in `folder` named `name` whatever the case of its letters; an exact match wins.
std::string FindIgnoringCase(const std::string& folder, std::string_view name) {
    const std::string exact = Join(folder, name);
    if (std::FILE* f = std::fopen(exact.c_str(), "rb")) {
        std::fclose(f);
        return exact;
    }
    std::string found = exact;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (SameIgnoringCase(entry->d_name, name)) {
                found = Join(folder, entry->d_name);
                break;
            }
        }
        closedir(dir);
    }
    return found;
}

BitmapHandle ReadBitmap(const std::string& folder, std::string_view name,
                        std::vector<std::string>& problems) {
    const std::string path = FindIgnoringCase(folder, name);
    const auto bytes = ReadBytes(path);
    if (!bytes) {
        problems.push_back(path + " cannot be read");
        return nullptr;
    }
    auto bitmap = DecodeBmp(*bytes);
    if (!bitmap) {
        problems.push_back(path + " is not a bitmap that can be read");
        return nullptr;
    }
    return std::make_shared<const Bitmap>(std::move(*bitmap));
}

} // namespace

std::string ResolveIri(const std::string& bundleFolder, std::string_view iri) {
    std::string path;
    for (std::size_t i = 0; i < iri.size(); ++i) {
        const int hi = i + 2 < iri.size() && iri[i] == '%' ? HexDigit(iri[i + 1]) : -1;
        const int lo = hi >= 0 ? HexDigit(iri[i + 2]) : -1;
        if (lo >= 0) {
            path += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            path += iri[i];
        }
    }
    return path.starts_with('/') ? path : Join(bundleFolder, path);
}

BundleDescription ReadBundleDescription(const std::string& bundleFolder) {
    BundleDescription d;
    const auto bytes = ReadBytes(Join(bundleFolder, "manifest.ttl"));
    if (!bytes) return d;
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    // The plugin is the first subject, right after the prefixes.
    const std::size_t start = text.find(std::string("<") + lv2::kPluginUriPrefix);
    if (start != std::string_view::npos) {
        const std::size_t end = text.find('>', start);
        if (end != std::string_view::npos) d.pluginUri = text.substr(start + 1, end - start - 1);
    }
    const std::string_view binary = IriAfter(text, "lv2:binary");
    if (!binary.empty()) d.binaryPath = ResolveIri(bundleFolder, binary);
    const std::string flag = std::string("<") + lv2::kBackgroundShowsControls + "> false";
    d.backgroundShowsControls = text.find(flag) == std::string_view::npos;
    return d;
}

PanelFiles ReadPanelFiles(const std::string& bundleFolder) {
    PanelFiles files;
    files.description = ReadBundleDescription(bundleFolder);
    if (files.description.binaryPath.empty()) {
        files.problems.push_back(Join(bundleFolder, "manifest.ttl") + " names no plugin binary");
    } else if (const auto bytes = ReadBytes(files.description.binaryPath); !bytes) {
        files.problems.push_back(files.description.binaryPath + " cannot be read");
    } else {
        plugin::Manifest manifest = plugin::FindManifest(*bytes);
        files.hasDesign = manifest.hasDesign;
        if (manifest.hasDesign) {
            files.design = std::move(manifest.design);
        } else {
            files.problems.push_back(files.description.binaryPath +
                                     ": damaged manifest: " + manifest.problem);
        }
    }
    files.background = ReadBitmap(bundleFolder, kSkinBackgroundFile, files.problems);
    for (int32_t i = 0; i < kSkinImageCount; ++i)
        files.images[i] = ReadBitmap(bundleFolder, kSkinImageFiles[i], files.problems);
    return files;
}

} // namespace tw::ui
