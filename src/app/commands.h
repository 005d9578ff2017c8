#pragma once

// The numbered commands that menu items and toolbar buttons send to the main window.
#include <cstdint>

namespace tw {

enum Command : int32_t {
    kCmdNewProject = 1012,
    kCmdOpenProject = 1013,
    kCmdSaveProject = 1014,
    kCmdExit = 1015,
    kCmdCut = 1017,
    kCmdCopy = 1018,
    kCmdPaste = 1019,
    kCmdDelete = 1020,
    kCmdSnapToGrid = 1021,
    kCmdLockEdit = 1022,
    kCmdSelectAll = 1023,
    kCmdJoke = 1025,
    kCmdStraightCables = 1026,
    kCmdCurvedCables = 1027,
    kCmdLogicCables = 1028,
    kCmdBuild = 1029,
    kCmdStatistics = 1030,
    kCmdRefreshProject = 1031,
    kCmdCleanProject = 1032,
    kCmdPreferences = 1034,
    kCmdShowDspEditor = 1035,
    kCmdShowGuiEditor = 1036,
    kCmdShowKeyboard = 1037,
    kCmdShowMonitor = 1038,
    kCmdDefaultLayout = 1039,
    kCmdPatchSelect = 1042,
    kCmdCopyPatch = 1043,
    kCmdPreviousPatch = 1044,
    kCmdNextPatch = 1045,
    kCmdStartAudio = 1046,
    kCmdStopAudio = 1047,
    kCmdHelpTopics = 1066,
    kCmdAbout = 1067,
    kCmdUndo = 1068,
    kCmdRedo = 1069,
    kCmdFitAll = 1070,
    kCmdSave = 1071,
};

// Control numbers of the toolbar and its own controls.
inline constexpr int32_t kToolbarControl = 1040;
inline constexpr int32_t kPatchNameControl = 1041;
inline constexpr int32_t kZoomListControl = 1055;

} // namespace tw
