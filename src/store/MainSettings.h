#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class DataStore;

// The single row of zcbj: settings of the main window.
struct MainSettings {
    enum Background { Colour = 1, Picture = 2 };

    QString sortClause;     // pxfs, " order by ..." or empty
    bool countViewsOff = false; // ylcs: "不记录文件阅览次数"
    QString bannerText;     // wz
    int displayMode = 1;    // ms: 1 or 2
    int background = Colour; // bjfs
    int bannerColour = 0x2B5FAE; // bjys, 0xRRGGBB
    QByteArray bannerPicture; // bjtp

    static std::optional<MainSettings> read(DataStore& store);
};
