#pragma once

// Checks for the Qt test programs: pixel probes for tables of painted scenes, and menus
// read as text.
#include <QAction>
#include <QImage>
#include <QMenu>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace tw::test {

// Every pixel of `area` has `colour` (All), at least one has (Any) or none has (None);
// each channel may be off by `slack`.
struct Probe {
    enum Mode { All, Any, None };
    QRect area;
    QRgb colour;
    Mode mode = All;
    int slack = 0;
};
inline Probe At(int x, int y, QRgb colour, int slack = 0) {
    return {QRect(x, y, 1, 1), colour, Probe::All, slack};
}
inline Probe Not(int x, int y, QRgb colour) {
    return {QRect(x, y, 1, 1), colour, Probe::None};
}

inline void ExpectProbes(const QImage& image, const std::vector<Probe>& probes) {
    for (const Probe& p : probes) {
        int matching = 0;
        for (int y = p.area.top(); y <= p.area.bottom(); ++y) {
            for (int x = p.area.left(); x <= p.area.right(); ++x) {
                const QRgb c = image.pixel(x, y);
                matching += std::abs(qRed(c) - qRed(p.colour)) <= p.slack &&
                            std::abs(qGreen(c) - qGreen(p.colour)) <= p.slack &&
                            std::abs(qBlue(c) - qBlue(p.colour)) <= p.slack;
            }
        }
        const int all = p.area.width() * p.area.height();
        EXPECT_TRUE(p.mode == Probe::All ? matching == all
                                         : (p.mode == Probe::Any) == (matching > 0))
            << "mode " << p.mode << ": " << matching << " of " << all << " pixels at " << p.area.x()
            << "," << p.area.y() << " are " << std::hex << (p.colour & 0xFFFFFFu)
            << "; the first is " << (image.pixel(p.area.topLeft()) & 0xFFFFFFu);
    }
}

// A menu's items by their text, "-" for a separator, and the action at a path of texts.
inline std::vector<std::string> MenuTexts(const QMenu& menu) {
    std::vector<std::string> texts;
    for (const QAction* a : menu.actions())
        texts.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    return texts;
}
inline QAction* FindAction(const QMenu* menu, const std::vector<std::string>& path) {
    QAction* found = nullptr;
    for (const std::string& text : path) {
        found = nullptr;
        for (QAction* a : menu != nullptr ? menu->actions() : QList<QAction*>{})
            if (a->text().toStdString() == text) found = a;
        if (found == nullptr) return nullptr;
        menu = found->menu();
    }
    return found;
}

} // namespace tw::test
