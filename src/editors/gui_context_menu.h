#pragma once

// The Gui Editor's context menu, built from the description the panel rules give for the
// point that was clicked. The commands run through the callbacks.
#include "interaction/panel_interaction.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <QMenu>

namespace tw {

struct PanelMenuCommands {
    std::function<void(bool edit)> setEditMode;
    std::function<void()> insertPolygon;
    std::function<void()> insertText;
    std::function<void()> deletePolygon;
    std::function<void()> deleteText;
    std::function<void()> deleteParameter;
    std::function<void(const std::string& skin)> selectSkin;
    std::function<void()> learnMidiCc;
    std::function<void()> cancelMidiLearn;
    std::function<void()> forgetMidiCc;
    // The clicked control waits for its controller: the menu says so and offers to stop.
    bool midiLearnWaiting = false;
};

// What the panel shows while a control waits for its MIDI controller.
QString MidiLearnWaitingText();

// The menu for `menu`; the skin in use is ticked in the "Skin" submenu.
std::unique_ptr<QMenu> BuildPanelContextMenu(const PanelMenu& menu, std::string_view currentSkin,
                                             const PanelMenuCommands& commands,
                                             QWidget* parent = nullptr);

} // namespace tw
