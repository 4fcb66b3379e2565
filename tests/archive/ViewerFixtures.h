#pragma once

#include "common/TestHome.h"
#include "store/DataStore.h"
#include "store/RecordContent.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

// Groups and records for the picture browser and media player tests,
// written straight into the tables.
namespace ViewerFixtures {

// A group row named name under parent (0: top level); protected when mm is set.
inline qint64 addGroup(DataStore& s, const QString& name, qint64 parent = 0, const QString& mm = {})
{
    if (!s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (?,?,0,0,?)"), {parent, name, mm}))
        return -1;
    return valueOf(s, QStringLiteral("select max(id) from wjfz")).toLongLong();
}

// A record of group path fz; its content held in the database, or, with
// keptPath, named by lj (the file itself is the caller's).
inline qint64 addRecord(DataStore& s, const QString& fz, const QString& name, const QString& type,
                        const QByteArray& bytes, const QString& keptPath = {})
{
    if (!s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dx,dxsz,lj) values (?,?,?,?,'',?,?)"),
                   {QStringLiteral("%1").arg(valueOf(s, QStringLiteral("select count(*) from wj")).toLongLong() + 1, 10,
                                             10, QLatin1Char('0')),
                    name, fz, type, qint64(bytes.size()), keptPath}))
        return -1;
    const qint64 id = valueOf(s, QStringLiteral("select max(id) from wj")).toLongLong();
    if (keptPath.isEmpty() && !RecordContent::write(s, id, bytes))
        return -1;
    return id;
}

// A picture of the given size and colour in the given format ("PNG", "JPG", "BMP").
inline QByteArray picture(int width, int height, const QColor& colour, const char* format = "PNG")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A short silent WAV file (16-bit mono, 8 kHz).
inline QByteArray wav(int milliseconds)
{
    const quint32 samples = quint32(8000 * milliseconds / 1000);
    const quint32 dataBytes = samples * 2;
    QByteArray b;
    auto u32 = [&b](quint32 v) {
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xff));
    };
    auto u16 = [&b](quint16 v) {
        b.append(char(v & 0xff));
        b.append(char(v >> 8));
    };
    b.append("RIFF");
    u32(36 + dataBytes);
    b.append("WAVEfmt ");
    u32(16);
    u16(1);      // PCM
    u16(1);      // mono
    u32(8000);   // sample rate
    u32(16000);  // byte rate
    u16(2);      // block align
    u16(16);     // bits per sample
    b.append("data");
    u32(dataBytes);
    b.append(QByteArray(int(dataBytes), '\0'));
    return b;
}

}  // namespace ViewerFixtures
