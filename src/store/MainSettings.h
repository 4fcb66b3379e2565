#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QString>
#include <optional>

class DataStore;

// The single row of zcbj: settings of the main window.
struct MainSettings {
    enum Background { Colour = 1, Picture = 2 };

    QString sortClause;           // pxfs, " order by ..." or empty
    bool countViewsOff = false;   // ylcs: "不记录文件阅览次数"
    QString bannerText;           // wz
    int displayMode = 1;          // ms: 1 or 2
    int background = Colour;      // bjfs
    int bannerColour = 0x2B5FAE;  // bjys, 0xRRGGBB
    QByteArray bannerPicture;     // bjtp

    static std::optional<MainSettings> read(DataStore& store);
    // The flag "不记录文件阅览次数" alone, as read() reads it, fresh from zcbj.
    static Result<bool> readCountViewsOff(DataStore& store);
    // Writes what "个人设置" sets (display mode, banner, the flag); fails
    // when the row is missing.
    static Status writePersonal(DataStore& store, const MainSettings& s);
    // Sets every record's view count back to 0.
    static Status clearViewCounts(DataStore& store);
    // How the flag is stored: any value but 0 sets it.
    static bool countViewsOffFrom(qint64 ylcs) { return ylcs != 0; }
};
