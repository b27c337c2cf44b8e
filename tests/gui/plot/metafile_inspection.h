#pragma once
// Independent structural checks of the metafiles, written from Microsoft's
// [MS-EMF] and [MS-WMF] documents rather than from the writers: record
// framing, header totals, the placeable header's checksum, the mapping of the
// picture, and a replay of the object table and of SaveDC/RestoreDC, so that
// every object a record uses exists at that moment.

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>

namespace kvo::gui::test {

struct InspectedText {
    QString text;
    int escapement = 0;   // of the font selected when it was drawn, tenths of a degree
    int fontHeight = 0;   // logical units, as stored (negative: em height)
    QPoint origin;        // logical units
};

struct MetafileInspection {
    QStringList problems;  // empty when the file is well formed
    QList<InspectedText> texts;
    std::map<std::uint32_t, int> recordCounts;  // by record type / function
    int unitsPerPixel = 0;
    int mostLiveObjects = 0;
    int clipRecords = 0;
    int imageRecords = 0;
};

// `pixels`: the picture size the file must declare.
MetafileInspection inspectEmf(const QByteArray& file, QSize pixels);
MetafileInspection inspectWmf(const QByteArray& file, QSize pixels);

}  // namespace kvo::gui::test
