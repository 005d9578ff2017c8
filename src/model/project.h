#pragma once

#include "limits.h"
#include "platform/bitmap.h"
#include "relaxed.h"

#include <atomic>
#include <cstdint>

namespace tw {

// How a port marker is drawn and whether a cable may end on it. The engine ignores it.
enum PortKind : int32_t {
    kPortNone = 0,
    kPortSignal = 1,
    kPortControl = 2,
    kPortGate = 3,
    kPortStatus = 4,
    kPortHidden = 6,
    kPortAny = 7,
};

// What the Properties window shows.
enum PropertiesTarget : int32_t {
    kTargetNone = 0,
    kTargetModule = 1,
    kTargetParameter = 2,
    kTargetPolygon = 3,
    kTargetText = 4,
    kTargetComment = 5,
};

// Module type numbers that other code refers to by name.
enum ModuleType : int32_t {
    kTypeEmpty = 0,
    kTypeOutput = 1,
    kTypeMidi2CV = 2,
    kTypeDelay = 3,
    kTypeSplit = 4,
    kTypeParameter = 5,
    kTypeAmplifier = 6,
    kTypeCombine = 7,
    kTypeInverter = 8,
    kTypeVoltMeter = 9,
    kTypeLowPass2Pole = 10,
    kTypeAdsr = 11,
    kTypeOscilloscope = 12,
    kTypeFixedValues = 13,
    kTypeOscillatorDriver = 14,
    kTypePolyMidi = 15,
    kTypeMul = 16,
    kTypeDiv = 17,
    kTypeAdd = 18,
    kTypeSub = 19,
    kTypeA440 = 26,
    kTypeTestModule = 27,
    kTypeRescale = 28,
    kTypeOscillator = 29,
    kTypeSwitch2In1Out = 30,
    kTypeSwitch1In2Out = 31,
    kTypeSwitch1In4Out = 32,
    kTypeReverb = 33,
    kTypeNoise = 34,
    kTypePolyWave = 35,
    kTypeFormant = 36,
    kTypeLowPass1Pole = 37,
    kTypeHighPass1Pole = 38,
    kTypeAllPass = 39,
    kTypeLfo = 40,
    kTypePatchbay = 41,
};

struct SkinImage {
    BitmapHandle bitmap;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frames = 0; // height / width: the image is a vertical strip of square frames
    char fileName[kSkinFileNameSize] = {};
};

struct BackgroundImage {
    BitmapHandle bitmap;
    int32_t width = 0;
    int32_t height = 0;
};

struct ModuleSlot {
    int32_t gx = 0; // logical position in grid units; screen = logical * (zoom + 1)
    int32_t gy = 0;
    int32_t heightUnits = 0;
    int32_t anchorX = kOffCanvas; // screen x of the box's horizontal centre
    int32_t originX = 0;
    int32_t topY = kOffCanvas;
    int32_t originY = 0;
    int32_t type = kTypeEmpty; // 0 = empty slot
    int32_t halfWidthPx = 0;
    int32_t halfWidthUnits = 0;
    int32_t heightPx = 0;
    const char* typeName = "";
    const char* helpPage = "about.htm";
    int32_t imageType = 0;
    int32_t controlSize = 0;
    int32_t spareValues[kPatchCount] = {};
    int32_t panelX = kOffCanvas;
    int32_t panelY = kOffCanvas;
    Relaxed<float> displayValue; // written by the audio thread, shown by the canvas
    char name[kNameSize] = {};
    int32_t mouseResponse = 0;
    uint8_t renderOnBackground = 1;
    int32_t stepDirection = 1;
    uint8_t showLabel = 1;
    uint8_t selected = 0;
    int32_t patchValues[kPatchCount] = {};
    int32_t steps = 100;
    Relaxed<float> value; // the engine reads a Parameter's value while the panel writes it
    uint8_t cleanMark = 0;
    uint8_t labelColour[3] = {};
    // The Control Change number (on the project's channel) that moves this Parameter's
    // control, or -1.
    int32_t midiCc = kNone;
};

struct PortRecord {
    int32_t yOffset = 0;
    int32_t x = kOffCanvas;
    int32_t y = kOffCanvas;
    // Crossed: outputs[k].link is the source output of input k; inputs[k].link is the input
    // that output k feeds. A cable is stored in both halves.
    int32_t link = kNone;
    int32_t kind = kPortNone;
    const char* label = "";
};

struct KeyRecord {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    uint8_t pressed = 0;
};

struct CommentRecord {
    int32_t gx = 0;
    int32_t gy = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t originX = 0;
    int32_t originY = 0;
    uint8_t selected = 0;
    char text[kCommentTextSize] = {};
    uint8_t showBackground = 1;
    uint8_t showBorder = 1;
    uint8_t clicked = 0;
};

struct PanelPolygon {
    int32_t x1 = 0;
    int32_t x2 = 0;
    int32_t y1 = 0;
    int32_t y2 = 0;
    int32_t lineWidth = 0;
    int32_t alpha = 0;
    int32_t cornerRadius = 0;
    int32_t red = 0;
    int32_t green = 0;
    int32_t blue = 0;
    uint8_t solid = 0;
};

struct PanelText {
    int32_t x = 0;
    int32_t y = 0;
    int32_t size = 8;
    int32_t red = 128;
    int32_t green = 128;
    int32_t blue = 128;
    int32_t alpha = 255;
    char text[kPanelTextSize] = {' ', '\0'};
};

// One editor window as a project file stores it: visibility, then the outer rectangle
// with its position inside the main window's client area.
struct WindowPlacement {
    int32_t visible = 1;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The one record that holds everything the user builds. It is large (a few
// megabytes) and lives on the heap for the whole run; it is reset in place, never
// copied. Cross-references are indices, never pointers.
struct Project {
    Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    // ---- Plugin identity ----
    char pluginName[kIdentitySize] = {};
    char author[kIdentitySize] = {};
    char versionText[kIdentitySize] = {};
    char uniqueId[kIdentitySize] = {};

    // ---- Paths ----
    char outputFolder[kPathSize] = {};
    int32_t fileVersion = 0;
    uint8_t openLastProject = 0;
    char projectPath[kPathSize] = {};
    char appFolder[kPathSize] = {};
    // Where an installed program keeps the user's files (see model/app_folders.h); empty
    // when the application folder holds everything.
    char settingsFolder[kPathSize] = {};
    char userFolder[kPathSize] = {};
    char skinName[kPathSize] = {};
    int32_t targetPlatform = kTarget64Bit;

    // ---- Skin images, indexed by image type 0..6, and the panel background ----
    SkinImage skinImages[kSkinImageCount];
    BackgroundImage background;

    // ---- Editor state of the DSP canvas and the GUI panel ----
    // (The Dsp Editor's mouse session lives outside the project, in a CanvasSession.)
    int32_t currentSlot = kNone;
    int32_t viewOriginX = 0;
    int32_t viewOriginY = 0;
    int32_t skinCount = 0;
    char skinFolders[kSkinFolderCount][kPathSize] = {};
    int32_t cableStyle = 0; // 0 Straight, 1 Curved, 2 Logic

    // ---- Application-wide editor flags: not stored in files, reset with the project ----
    uint8_t snapToGrid = 1;
    uint8_t lockEdit = 0;
    uint8_t guiEditMode = 0;

    // ---- Module slots ----
    ModuleSlot slots[kSlotCount];

    // ---- Port tables and the on-screen keyboard ----
    PortRecord inputs[kPortCount];
    PortRecord outputs[kPortCount];
    KeyRecord keys[kKeyCount];
    int32_t baseNote = 24;

    // ---- Comments ----
    int32_t commentCount = 0;
    int32_t currentComment = kNone;
    int32_t commentBoxWidth = 36 * 4;
    int32_t commentBoxHeight = 10 * 4;
    CommentRecord comments[kCommentCount];

    // ---- The route table and the active-object list the engine runs from ----
    // The audio thread reads them while the user-interface thread rebuilds them in place.
    Relaxed<int32_t> routes[kPortCount];
    Relaxed<int32_t> activeTypes[kActiveListSize];
    Relaxed<int32_t> activeSlots[kActiveListSize];
    Relaxed<int32_t> activeCount;
    // Counts the rebuilds of the two structures above, bumped once a rebuild is complete
    // (release), so that the engine knows when the plan it derived from them is stale.
    std::atomic<uint32_t> tableGeneration{0};

    // ---- Patches ----
    Relaxed<int32_t> currentPatch;
    char patchNames[kPatchCount][kPatchNameSize] = {};

    // ---- Panel polygons ----
    PanelPolygon polygons[kPolygonCount];
    int32_t polygonCount = 0;
    int32_t currentPolygon = kNone;

    // ---- Panel texts ----
    PanelText texts[kTextCount];
    int32_t textCount = 0;
    int32_t currentText = kNone;

    // ---- Keyboard instrument ----
    // How many notes the design plays at once (1 to kMaxVoices; 1 runs the design as it
    // always ran), the MIDI channel it listens to (1 to 16, or kAllChannels) and the
    // pitch-bend range in semitones. Relaxed words: the engine reads them while it runs.
    Relaxed<int32_t> voiceCount{1};
    Relaxed<int32_t> midiChannel{1};
    Relaxed<int32_t> bendRange{kDefaultBendRange};
    void ResetInstrument() noexcept {
        voiceCount = 1;
        midiChannel = 1;
        bendRange = kDefaultBendRange;
    }

    // ---- Counters and view settings ----
    int32_t moduleCount = 0;
    int32_t clipboardType = kNone;
    int32_t zoom = 4;
    int32_t previousZoom = 4;
    int32_t portSize = 8;
    int32_t halfPortSize = 4;
    int32_t propertiesTarget = kTargetNone;

    // Editor windows (Dsp Editor, Gui Editor, Virtual Keyboard, Midi Monitor) as last
    // read from a project file, or as the default layout left them.
    WindowPlacement windows[4];

    // State of the small generator behind the random panel offsets of new Parameters.
    uint32_t editRandomState = 0x2545F491u;

    // ---- Reset operations ----
    void ResetModuleSlots() noexcept;
    void ResetPorts() noexcept;
    void ResetComments() noexcept;
    void ResetPolygons() noexcept;
    void ResetTexts() noexcept;
    void ResetPatchNames() noexcept;
    void LayoutKeys() noexcept;
    void ClearCleanMarks() noexcept;
    // The editing part of the full reset, which runs first: selection, flags, clipboard,
    // view origin, patch names.
    void ResetEditingState() noexcept;
    void SetDefaultSkinFileNames() noexcept;
    // The new-project identity: name, author, version, unique ID, skin, target.
    void SetDefaultIdentity() noexcept;

    // ---- Parameters ----
    void RecomputeParameterValues() noexcept;
    // The value the engine reads: the current patch's step (held within 0..steps) over
    // the steps of the control's image.
    void RecomputeParameterValue(int32_t slot) noexcept;
    // Gives Parameter `slot` the control image `imageType`. Every patch's value, the
    // current one's included, keeps its place relative to the whole travel (RescaleStep).
    // Choosing the image the control already has changes nothing (false).
    bool ChangeImageType(int32_t slot, int32_t imageType) noexcept;

    // ---- MIDI controllers bound to panel controls ----
    // Binds controller `cc` (0..127) to Parameter `slot`. A controller moves one control:
    // a control that had it before lets it go. False for anything but a Parameter or a
    // controller outside 0..127.
    bool BindMidiCc(int32_t slot, int32_t cc) noexcept;
    // Unbinds the Parameter's controller; false when it had none.
    bool ForgetMidiCc(int32_t slot) noexcept;
    // Controller `cc` at `value` (0..127) moves its control as turning the knob does: the
    // current patch's step becomes ControllerStep(value, KnobSteps) and the engine's value
    // follows. True when a control is bound to it.
    bool ApplyControlChange(int32_t cc, int32_t value) noexcept;
    // The largest step of the Parameter's knob: the frames of its image less one, or the
    // step count it has while no image is loaded (a plugin has none).
    int32_t KnobSteps(int32_t slot) const noexcept;

    // ---- Cables, routes and the active-object list ----
    // Stores the cable that feeds input `input` from output `output` in both crossed halves,
    // as a project file or a plugin manifest lists it: ports and slots are not judged, the
    // editor plays every cable its project carries. A later cable for the same input or
    // output replaces the earlier one, so that no half is left pointing at a port that does
    // not point back. Indices outside the port table change nothing (false). The routes
    // are not rebuilt.
    bool LinkCable(int32_t input, int32_t output) noexcept;
    void RebuildActiveList() noexcept;
    void RebuildRoutes() noexcept;

    // ---- Catalogue and geometry ----
    void PlaceModule(int32_t slot, int32_t x, int32_t y) noexcept;
    void RelayoutPatchbays() noexcept;
    void Relayout() noexcept;
    void CapturePositions() noexcept;
    // Deselects every module and comment.
    void ClearSelection() noexcept;
    int32_t SnapStep() const noexcept { return 4 * (zoom + 1); }

    // ---- Editing ----
    // Puts a module of `type` into the lowest empty slot with its top centre at (x, y).
    // Returns the slot, or -1 when every slot is taken or the type is outside 1..41.
    int32_t InsertModule(int32_t type, int32_t x, int32_t y, int32_t guiWidth,
                         int32_t guiHeight) noexcept;
    void DeleteModule(int32_t slot) noexcept;
    // Connects output o to input i. Refused (false) for indices out of range, empty slots,
    // hidden or absent inputs, absent outputs, an input that already has a source and an
    // output that already has a cable. With nameParameter a Parameter source is renamed
    // after the input's port (a cable drawn from the output end); Patchbays re-lay-out.
    bool Connect(int32_t output, int32_t input, bool nameParameter = true) noexcept;
    // Removes the cable that feeds input i; false when it had none.
    bool DisconnectInput(int32_t input) noexcept;
    // Removes the cable that leaves output o; false when it had none.
    bool DisconnectOutput(int32_t output) noexcept;
    // Recounts `moduleCount` and returns it.
    int32_t CountModules() noexcept;
    int32_t CountOccupied() const noexcept;
    int32_t CountModulesOfType(int32_t type) const noexcept;
    bool HasModuleOfType(int32_t type) const noexcept { return CountModulesOfType(type) > 0; }

    // Table inserts return the new index, or -1 when the table is full.
    int32_t InsertComment(int32_t x, int32_t y) noexcept;
    bool DeleteComment(int32_t index) noexcept;
    // Puts a Parameter's control on a free spot of the panel of a Gui Editor window of the
    // given size, nearest its centre, with a label colour that reads on the panel's
    // background there.
    void PlaceNewControl(int32_t slot, int32_t guiWidth, int32_t guiHeight) noexcept;
    // Whether Parameter `slot`'s control and its label would meet no other control at
    // panel point (x, y).
    bool ControlSpotFree(int32_t slot, int32_t x, int32_t y) const noexcept;
    int32_t InsertPolygon(int32_t x, int32_t y) noexcept;
    bool DeletePolygon(int32_t index) noexcept;
    int32_t InsertText(int32_t x, int32_t y) noexcept;
    bool DeleteText(int32_t index) noexcept;

    uint32_t NextEditRandom() noexcept;
};

// The engine's value of a control at `step` (within 0..steps) of `steps`; 0 without steps.
float StepValue(int32_t step, int32_t steps) noexcept;

// A step of `oldSteps` moved to a travel of `newSteps` at the same relative place:
// round(step x newSteps / oldSteps), halves rounded up, held within 0..newSteps.
int32_t RescaleStep(int32_t step, int32_t oldSteps, int32_t newSteps) noexcept;

// The step a controller value (0..127) gives a knob of `steps` steps: round(value x steps
// / 127).
int32_t ControllerStep(int32_t value, int32_t steps) noexcept;

// The slot's name as text.
inline const char* SlotName(const Project& p, int32_t slot) {
    return p.slots[slot].name;
}

} // namespace tw
