#include "export/plugin_build.h"

#include "export/bmp_writer.h"
#include "export/lv2_bundle.h"
#include "export/lv2_ttl.h"
#include "export/manifest.h"
#include "model/app_folders.h"
#include "model/skin_files.h"
#include "model/text.h"
#include "platform/atomic_file.h"
#include "plugin/lv2_contract.h"

#include <cstdio>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace tw {

namespace {

constexpr char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Each bitmap the plugin folder receives is the skin's strip of the same image type,
// whatever the letter case of its name.
constexpr bool CopiesAreTheSkinStrips() {
    for (std::size_t i = 0; i < kSkinImageFiles.size(); ++i) {
        const char* copy = kPluginSkinBitmaps[i];
        const char* strip = kSkinImageFiles[i];
        for (; *copy != '\0' && LowerAscii(*copy) == LowerAscii(*strip); ++copy, ++strip) {}
        if (*copy != '\0' || *strip != '\0') return false;
    }
    return true;
}
static_assert(CopiesAreTheSkinStrips());

// Length of the UTF-8 sequence that starts with this byte, or 0 for a byte that starts none.
std::size_t SequenceLength(unsigned char b) {
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) return 2;
    if ((b & 0xF0) == 0xE0) return 3;
    if ((b & 0xF8) == 0xF0) return 4;
    return 0;
}

// Where each character of a UTF-8 text ends; empty when the text is not UTF-8.
std::vector<std::size_t> CharacterEnds(std::string_view text) {
    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = SequenceLength(static_cast<unsigned char>(text[i]));
        if (n == 0 || i + n > text.size()) return {};
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return {};
        }
        i += n;
        ends.push_back(i);
    }
    return ends;
}

bool HasControlCharacter(std::string_view text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

} // namespace

std::string CutToCharacters(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);
    if (limit == 0) return {};
    const std::vector<std::size_t> ends = CharacterEnds(text);
    if (ends.empty()) return std::string(text.substr(0, limit));
    return std::string(text.substr(0, ends.size() <= limit ? text.size() : ends[limit - 1]));
}

BuildFields CutBuildFields(const BuildFields& fields) {
    return {CutToCharacters(fields.name, kIdentityFieldChars),
            CutToCharacters(fields.author, kIdentityFieldChars),
            CutToCharacters(fields.version, kIdentityFieldChars),
            CutToCharacters(fields.id, kUniqueIdFieldChars)};
}

void ApplyBuildFields(Project& project, const BuildFields& fields) {
    const BuildFields cut = CutBuildFields(fields);
    SetText(project.pluginName, cut.name);
    SetText(project.author, cut.author);
    SetText(project.versionText, cut.version);
    SetText(project.uniqueId, cut.id);
}

std::vector<std::string> ValidateBuild(const Project& project) {
    std::vector<std::string> failed;
    const std::string_view name = GetText(project.pluginName);
    if (GetText(project.outputFolder).size() < 3) {
        failed.emplace_back(kInvalidDirectory);
    }
    if (name.empty()) failed.emplace_back("Plugin must have a name.");
    if (GetText(project.author).empty()) failed.emplace_back("Plugin must have an author.");
    if (GetText(project.versionText).empty()) {
        failed.emplace_back("Plugin must have a version number.");
    }
    if (GetText(project.uniqueId).empty()) {
        failed.emplace_back("Plugin must have a unique 4 character ID.");
    }
    // The name becomes a file and a folder inside the target directory; these names would
    // put them elsewhere.
    if (name.find('/') != std::string_view::npos) {
        failed.emplace_back("Plugin name must not contain '/'.");
    }
    if (name == "." || name == "..") failed.emplace_back("Plugin name must not be '.' or '..'.");
    // Hosts find a plugin by a name and an ID they can read back from its description;
    // a tab or another control character breaks that.
    if (HasControlCharacter(name)) {
        failed.emplace_back("Plugin name must not contain control characters.");
    }
    if (HasControlCharacter(GetText(project.uniqueId))) {
        failed.emplace_back("Plugin ID must not contain control characters.");
    }
    return failed;
}

void SetRenderOnBackground(Project& project, uint8_t flag) {
    for (ModuleSlot& s : project.slots) s.renderOnBackground = flag;
}

std::string TemplatePath(const Project& project) {
    return std::string(GetText(project.appFolder)) + "/Resources/" +
           (project.targetPlatform == kTarget32Bit ? "32Bit.dat" : "64Bit.dat");
}

std::string WindowTemplatePath(const Project& project) {
    return std::string(GetText(project.appFolder)) + "/Resources/" +
           (project.targetPlatform == kTarget32Bit ? "32BitUI.dat" : "64BitUI.dat");
}

bool CopyPluginWindow(const Project& project, const std::string& folder, BuildLog& log) {
    const std::string source = WindowTemplatePath(project);
    const std::optional<std::string> bytes = ReadWholeFile(source);
    if (!bytes) {
        // Hosts then show their own controls; the plugin itself is complete.
        log.Step(">No plugin window for this target: can not read " + source);
        return false;
    }
    const std::string destination = folder + "/" + lv2::UiFileName(GetText(project.pluginName));
    AtomicFile out(destination);
    if (!out.Write(*bytes) || !out.Commit()) {
        log.Error(">ERROR 8: Can not open file " + destination);
        log.Step(">Check folder permissions.");
        return false;
    }
    log.Step(">Copying plugin window: " + destination);
    return true;
}

std::string PluginFolderPath(const Project& project) {
    return std::string(GetText(project.outputFolder)) + "/" +
           std::string(GetText(project.pluginName));
}

std::string PluginFilePath(const Project& project) {
    return PluginFolderPath(project) + ".dll";
}

std::string SkinFolderPath(const Project& project) {
    const std::vector<std::string> roots = SkinRoots(project);
    for (const std::string& root : roots) {
        const std::string folder = FindFileIgnoringCase(root + "/", GetText(project.skinName));
        struct stat st {};
        if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return folder + "/";
    }
    // A skin found nowhere is reported where the application's skins are.
    return roots.back() + "/" + std::string(GetText(project.skinName)) + "/";
}

std::string FindFileIgnoringCase(const std::string& folder, std::string_view fileName) {
    std::string exact = folder + std::string(fileName);
    struct stat st {};
    if (stat(exact.c_str(), &st) == 0) return exact;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return exact;
    std::string found = exact;
    const std::string wanted(fileName);
    while (const dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, wanted.c_str()) == 0) {
            found = folder + entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

void CopySkinBitmap(std::string_view fileName, const std::string& skinFolder,
                    const std::string& pluginFolder, BuildLog& log) {
    const std::string source = FindFileIgnoringCase(skinFolder, fileName);
    const std::string destination = pluginFolder + "/" + std::string(fileName);
    std::FILE* in = std::fopen(source.c_str(), "rb");
    if (in == nullptr)
        log.Error(">ERROR 7: Can not read file " + skinFolder + std::string(fileName));
    AtomicFile out(destination);
    if (!out.IsOpen()) {
        log.Error(">ERROR 8: Can not open file " + destination);
        log.Step(">Check folder permissions.");
    } else if (in == nullptr) {
        // A bitmap the skin lacks leaves an empty file of its name, as it always has.
        out.Commit();
    } else {
        char buffer[65536];
        std::size_t n = 0;
        bool ok = true;
        while (ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            ok = out.Write({buffer, n});
        ok = ok && std::ferror(in) == 0 && out.Commit();
        if (ok) {
            log.Step(source);
        } else {
            // A copy cut short is no copy: say so rather than list it as done; the previous
            // bitmap stays.
            log.Error(">ERROR 8: Can not open file " + destination);
            log.Step(">Check folder permissions.");
        }
    }
    if (in != nullptr) std::fclose(in);
}

bool SaveBackgroundBitmap(const std::string& path, const Bitmap& picture, int32_t width,
                          int32_t height) {
    Bitmap image;
    image.width = width > 0 ? width : 0;
    image.height = height > 0 ? height : 0;
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0xFF000000u);
    const bool readable = picture.pixels.size() >=
                          static_cast<std::size_t>(picture.width > 0 ? picture.width : 0) *
                              static_cast<std::size_t>(picture.height > 0 ? picture.height : 0);
    for (int32_t y = 0; readable && y < image.height && y < picture.height; ++y) {
        for (int32_t x = 0; x < image.width && x < picture.width; ++x) {
            image.pixels[static_cast<std::size_t>(y) * image.width + x] = picture.At(x, y);
        }
    }
    return SaveBmp24(path, image);
}

bool BuildPlugin(const Project& project, PanelSize panel, BuildLog& log, BuildHost& host) {
    log.errorCount = 0;
    if (project.activeCount < 1) {
        host.ShowWarning("Nothing to save");
        return false;
    }

    const std::string templatePath = TemplatePath(project);
    const std::optional<std::string> templateBytes = ReadWholeFile(templatePath);
    if (!templateBytes) {
        log.Error(">ERROR 5:- Can not read from " + templatePath);
        return true;
    }

    // The plugin file is replaced whole, never rewritten in place: a host that has the
    // previous build loaded has that file mapped, and a build that stops half-way must
    // leave it as it was.
    const std::string pluginPath = PluginFilePath(project);
    AtomicFile plugin(pluginPath);
    if (!plugin.Write(*templateBytes)) {
        log.Error(">ERROR 6:- Can not write to " + pluginPath);
        log.Step(">Check folder permissions.");
        return true;
    }
    // Without its manifest the new file is no plugin: the previous one stays then.
    if (WriteManifest(project, plugin, pluginPath, panel.width, panel.height, log) &&
        !plugin.Commit()) {
        log.Error(">ERROR 9: Can not open file to save " + pluginPath);
    }

    log.Step("");
    log.Step(">Compiling " + pluginPath);
    host.Pause(200);
    log.Count(static_cast<int32_t>(templateBytes->size()), " Bytes Written");
    log.Step("");

    if (project.targetPlatform == kTarget32Bit) log.Step(">Linking Object Library 32Bit");
    if (project.targetPlatform == kTarget64Bit) log.Step(">Linking Object Library 64Bit");
    host.Pause(200);
    log.Step("");

    const std::string folder = PluginFolderPath(project);
    log.Step(">Creating folder: " + folder);
    mkdir(folder.c_str(), 0755); // an existing folder is fine; a missing one shows in the copies

    log.Step(">Copying bitmaps to: " + folder);
    const std::string skinFolder = SkinFolderPath(project);
    for (const char* name : kPluginSkinBitmaps) CopySkinBitmap(name, skinFolder, folder, log);
    const bool window = CopyPluginWindow(project, folder, log);
    WriteLv2Description(project, folder, std::string(GetText(project.pluginName)) + ".dll", log,
                        Lv2BinaryPlace::BesideFolder, window);
    return true;
}

BuildOutcome RunBuild(Project& project, const BuildFields& fields, PanelSize panel, BuildLog& log,
                      BuildHost& host, const BuildPlaces& places) {
    ApplyBuildFields(project, fields);
    std::vector<std::string> failed = ValidateBuild(project);
    if (!places.targetDirectory && !failed.empty() && failed.front() == kInvalidDirectory)
        failed.erase(failed.begin());
    for (const std::string& message : failed) host.ShowError(message);
    if (!failed.empty()) return BuildOutcome::Refused;

    bool built = false;
    if (places.targetDirectory) {
        built = BuildPlugin(project, panel, log, host);
    } else {
        log.errorCount = 0;
        built = project.activeCount >= 1;
        if (!built) host.ShowWarning("Nothing to save");
    }
    // With nothing built there is no plugin folder to hold a background, and an earlier
    // build's background must not be replaced by an empty panel.
    if (built && places.targetDirectory && log.errorCount == 0) {
        const std::string path = PluginFolderPath(project) + "/Background.bmp";
        if (SaveBackgroundBitmap(path, host.CapturePanel(panel.width, panel.height), panel.width,
                                 panel.height)) {
            log.Step(">Creating background bitmap: " + path);
        } else {
            log.Error(">ERROR 8: Can not open file " + path);
            log.Step(">Check folder permissions.");
        }
    }

    if (built && !places.lv2Folder.empty())
        InstallLv2Bundle(project, places.lv2Folder, panel, log, host);

    log.Step("");
    if (log.errorCount != 0) {
        log.Step(">Build Process Failed");
        log.Count(log.errorCount, " Error(s)");
    } else {
        log.Step("** Build Process Finished **");
    }
    SetRenderOnBackground(project, 1);
    return built ? BuildOutcome::Ran : BuildOutcome::NothingToSave;
}

} // namespace tw
