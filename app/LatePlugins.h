#pragma once

#include <QStringList>

// Before Qt reads a picture with its own PNG reader, it asks every image-format
// plugin whether it reads that picture, and so loads all of them and the
// libraries they need (TIFF, WebP, MNG, SVG, JPEG...), though every picture
// the window shows before its first paint is a PNG. Until then the plugin
// folders are out of Qt's sight; the first paint gives them back, and every
// format reads as before.
class LatePlugins {
public:
    // After the application object (its platform plugins are loaded by then).
    static void holdBack();
    // Gives the folders back; does nothing when none are held.
    static void giveBack();
    static bool held() { return s_held; }

private:
    static bool s_held;
    static QStringList s_paths;
};
