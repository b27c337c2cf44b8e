#include "metafile_inspection.h"

#include <cmath>
#include <optional>
#include <vector>

namespace kvo::gui::test {

namespace {

std::uint32_t u16(const QByteArray& b, qsizetype at)
{
    return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8);
}
std::int32_t i16(const QByteArray& b, qsizetype at)
{
    return static_cast<std::int16_t>(u16(b, at));
}
std::uint32_t u32(const QByteArray& b, qsizetype at)
{
    return u16(b, at) | (u16(b, at + 2) << 16);
}
std::int32_t i32(const QByteArray& b, qsizetype at)
{
    return static_cast<std::int32_t>(u32(b, at));
}

// An object table as players keep it: entries, each empty or holding a font's
// escapement and height (or nothing in particular for pens and brushes).
struct ObjectTable {
    struct Entry {
        bool font = false;
        int escapement = 0;
        int height = 0;
    };
    std::vector<std::optional<Entry>> entries;
    std::optional<Entry> selectedFont;
    int live = 0;
    int mostLive = 0;

    void put(std::size_t slot, Entry entry)
    {
        if (slot >= entries.size())
            entries.resize(slot + 1);
        entries[slot] = entry;
        mostLive = std::max(mostLive, ++live);
    }
};

}  // namespace

MetafileInspection inspectEmf(const QByteArray& file, QSize pixels)
{
    MetafileInspection result;
    auto& problems = result.problems;
    if (file.size() < 108 || u32(file, 0) != 1) {
        problems << "no EMR_HEADER of 108 bytes or more at the start";
        return result;
    }
    const int width = pixels.width();
    const int height = pixels.height();
    if (u32(file, 40) != 0x464D4520)
        problems << "header signature is not \" EMF\"";
    if (i32(file, 8) != 0 || i32(file, 12) != 0 || i32(file, 16) != width - 1 || i32(file, 20) != height - 1)
        problems << "bounds are not the picture's pixels";
    const int frameRight = static_cast<int>(std::lround(width * 2540.0 / 96.0));
    if (i32(file, 24) != 0 || i32(file, 28) != 0 || i32(file, 32) != frameRight)
        problems << QString("frame right %1, expected %2 (0.01 mm at 96 dpi)").arg(i32(file, 32)).arg(frameRight);
    if (u32(file, 48) != static_cast<std::uint32_t>(file.size()))
        problems << QString("header says %1 bytes, file has %2").arg(u32(file, 48)).arg(file.size());
    const std::uint32_t handles = u16(file, 56);
    const std::uint32_t descriptionChars = u32(file, 60);
    const std::uint32_t descriptionOffset = u32(file, 64);
    if (descriptionChars > 0 && descriptionOffset + 2 * descriptionChars > u32(file, 4))
        problems << "description runs past the header record";

    ObjectTable objects;
    int depth = 0;
    std::uint32_t records = 0;
    qsizetype at = 0;
    bool sawEof = false;
    while (at < file.size()) {
        if (at + 8 > file.size()) {
            problems << QString("truncated record at %1").arg(at);
            break;
        }
        const std::uint32_t type = u32(file, at);
        const std::uint32_t size = u32(file, at + 4);
        if (size < 8 || size % 4 != 0 || at + size > static_cast<std::uint32_t>(file.size())) {
            problems << QString("record %1 at %2 has bad size %3").arg(type).arg(at).arg(size);
            break;
        }
        ++records;
        ++result.recordCounts[type];
        const auto index = [&] { return u32(file, at + 8); };
        const auto live = [&](std::uint32_t i) {
            return i < objects.entries.size() && objects.entries[i].has_value();
        };
        switch (type) {
        case 11:  // EMR_SETVIEWPORTEXTEX
            if (i32(file, at + 8) != width || i32(file, at + 12) != height)
                problems << "viewport extent is not the picture's pixels";
            break;
        case 9:  // EMR_SETWINDOWEXTEX
            result.unitsPerPixel = i32(file, at + 8) / std::max(width, 1);
            if (i32(file, at + 8) != result.unitsPerPixel * width || i32(file, at + 12) != result.unitsPerPixel * height)
                problems << "window extent is not a whole number of units per pixel";
            break;
        case 38:  // EMR_CREATEPEN
        case 39:  // EMR_CREATEBRUSHINDIRECT
        case 82:  // EMR_EXTCREATEFONTINDIRECTW
            if (index() == 0 || index() >= handles)
                problems << QString("object index %1 outside the table of %2").arg(index()).arg(handles);
            else if (live(index()))
                problems << QString("object %1 created twice").arg(index());
            else
                objects.put(index(), {type == 82, type == 82 ? i32(file, at + 20) : 0, type == 82 ? i32(file, at + 12) : 0});
            if (type == 82 && size != 332)
                problems << "font record is not a LogFontPanose";
            break;
        case 37:  // EMR_SELECTOBJECT
            if ((index() & 0x80000000u) == 0) {
                if (!live(index()))
                    problems << QString("selects object %1, which does not exist").arg(index());
                else if (objects.entries[index()]->font)
                    objects.selectedFont = objects.entries[index()];
            }
            break;
        case 40:  // EMR_DELETEOBJECT
            if (!live(index())) {
                problems << QString("deletes object %1, which does not exist").arg(index());
            } else {
                objects.entries[index()].reset();
                --objects.live;
            }
            break;
        case 33:  // EMR_SAVEDC
            ++depth;
            break;
        case 34:  // EMR_RESTOREDC
            if (i32(file, at + 8) != -1 || --depth < 0)
                problems << "RestoreDC without a matching SaveDC";
            break;
        case 30:  // EMR_INTERSECTCLIPRECT
            ++result.clipRecords;
            break;
        case 81:  // EMR_STRETCHDIBITS
            ++result.imageRecords;
            if (u32(file, at + 48) + u32(file, at + 52) > size || u32(file, at + 56) + u32(file, at + 60) > size)
                problems << "bitmap runs past its record";
            break;
        case 84: {  // EMR_EXTTEXTOUTW
            const std::uint32_t chars = u32(file, at + 44);
            const std::uint32_t offString = u32(file, at + 48);
            const std::uint32_t offDx = u32(file, at + 72);
            if (offString + 2 * chars > size || (offDx != 0 && offDx + 4 * chars > size)) {
                problems << "text runs past its record";
                break;
            }
            QString text;
            for (std::uint32_t i = 0; i < chars; ++i)
                text.append(QChar(static_cast<char16_t>(u16(file, at + offString + 2 * i))));
            if (!objects.selectedFont)
                problems << QString("text \"%1\" drawn without a font selected").arg(text);
            result.texts.append({text, objects.selectedFont ? objects.selectedFont->escapement : 0,
                                 objects.selectedFont ? objects.selectedFont->height : 0,
                                 QPoint(i32(file, at + 36), i32(file, at + 40))});
            break;
        }
        case 14:  // EMR_EOF
            sawEof = true;
            if (size != 20 || u32(file, at + 16) != 20)
                problems << "EMR_EOF is not 20 bytes";
            if (at + size != file.size())
                problems << "data after EMR_EOF";
            break;
        default:
            break;
        }
        at += size;
        if (sawEof)
            break;
    }
    if (!sawEof)
        problems << "no EMR_EOF";
    if (records != u32(file, 52))
        problems << QString("header says %1 records, file has %2").arg(u32(file, 52)).arg(records);
    if (depth != 0)
        problems << "SaveDC without RestoreDC at the end";
    result.mostLiveObjects = objects.mostLive;
    return result;
}

MetafileInspection inspectWmf(const QByteArray& file, QSize pixels)
{
    MetafileInspection result;
    auto& problems = result.problems;
    constexpr qsizetype kPlaceable = 22;
    if (file.size() < kPlaceable + 18 || u32(file, 0) != 0x9AC6CDD7) {
        problems << "no placeable header";
        return result;
    }
    std::uint32_t checksum = 0;
    for (qsizetype i = 0; i < 20; i += 2)
        checksum ^= u16(file, i);
    if (checksum != u16(file, 20))
        problems << "placeable header checksum is wrong";
    const int inch = static_cast<int>(u16(file, 14));
    result.unitsPerPixel = inch / 96;
    const int k = result.unitsPerPixel;
    if (inch % 96 != 0 || k < 1)
        problems << QString("%1 units per inch is not a whole number per pixel at 96 dpi").arg(inch);
    if (i16(file, 6) != 0 || i16(file, 8) != 0 || i16(file, 10) != pixels.width() * k
        || i16(file, 12) != pixels.height() * k)
        problems << "bounding box is not the picture";

    const qsizetype header = kPlaceable;
    if (u16(file, header + 2) != 9 || u16(file, header + 4) != 0x0300)
        problems << "META_HEADER size or version is wrong";
    if (u32(file, header + 6) * 2 != static_cast<std::uint32_t>(file.size() - kPlaceable))
        problems << QString("header says %1 words, file has %2").arg(u32(file, header + 6)).arg((file.size() - kPlaceable) / 2);
    const std::uint32_t tableSize = u16(file, header + 10);

    ObjectTable objects;
    const auto live = [&](std::uint32_t i) { return i < objects.entries.size() && objects.entries[i].has_value(); };
    int depth = 0;
    std::uint32_t largest = 0;
    bool sawEof = false;
    qsizetype at = header + 18;
    while (at < file.size()) {
        if (at + 6 > file.size()) {
            problems << QString("truncated record at %1").arg(at);
            break;
        }
        const std::uint32_t words = u32(file, at);
        const std::uint32_t function = u16(file, at + 4);
        if (words < 3 || at + 2 * words > static_cast<std::uint32_t>(file.size())) {
            problems << QString("record 0x%1 at %2 has bad size %3").arg(function, 4, 16, QChar('0')).arg(at).arg(words);
            break;
        }
        largest = std::max(largest, words);
        ++result.recordCounts[function];
        const qsizetype p = at + 6;  // parameters
        switch (function) {
        case 0x020C:  // META_SETWINDOWEXT: y, x
            if (i16(file, p) != pixels.height() * k || i16(file, p + 2) != pixels.width() * k)
                problems << "window extent is not the bounding box";
            break;
        case 0x02FA:  // META_CREATEPENINDIRECT
        case 0x02FC:  // META_CREATEBRUSHINDIRECT
        case 0x02FB: {  // META_CREATEFONTINDIRECT: the lowest free slot
            std::size_t slot = 0;
            while (live(static_cast<std::uint32_t>(slot)))
                ++slot;
            if (slot >= tableSize)
                problems << QString("object slot %1 outside the table of %2").arg(slot).arg(tableSize);
            objects.put(slot, {function == 0x02FB, function == 0x02FB ? i16(file, p + 4) : 0,
                               function == 0x02FB ? i16(file, p) : 0});
            break;
        }
        case 0x012D:  // META_SELECTOBJECT
            if (!live(u16(file, p)))
                problems << QString("selects object %1, which does not exist").arg(u16(file, p));
            else if (objects.entries[u16(file, p)]->font)
                objects.selectedFont = objects.entries[u16(file, p)];
            break;
        case 0x01F0:  // META_DELETEOBJECT
            if (!live(u16(file, p))) {
                problems << QString("deletes object %1, which does not exist").arg(u16(file, p));
            } else {
                objects.entries[u16(file, p)].reset();
                --objects.live;
            }
            break;
        case 0x001E:  // META_SAVEDC
            ++depth;
            break;
        case 0x0127:  // META_RESTOREDC
            if (i16(file, p) != -1 || --depth < 0)
                problems << "RestoreDC without a matching SaveDC";
            break;
        case 0x0416:  // META_INTERSECTCLIPRECT
            ++result.clipRecords;
            break;
        case 0x0F43:  // META_STRETCHDIB
            ++result.imageRecords;
            if (u32(file, p + 22) != 40)
                problems << "bitmap does not start with a BITMAPINFOHEADER";
            break;
        case 0x0A32: {  // META_EXTTEXTOUT: y, x, length, options, [rect], string, [dx]
            const int length = i16(file, p + 4);
            const qsizetype string = p + 8 + ((u16(file, p + 6) & 0x0006) != 0 ? 8 : 0);
            if (string + length > at + 2 * words) {
                problems << "text runs past its record";
                break;
            }
            const QString text = QString::fromLatin1(file.mid(string, length));
            if (!objects.selectedFont)
                problems << QString("text \"%1\" drawn without a font selected").arg(text);
            result.texts.append({text, objects.selectedFont ? objects.selectedFont->escapement : 0,
                                 objects.selectedFont ? objects.selectedFont->height : 0,
                                 QPoint(i16(file, p + 2), i16(file, p))});
            break;
        }
        case 0x0000:  // META_EOF
            sawEof = true;
            if (words != 3)
                problems << "META_EOF is not 3 words";
            if (at + 2 * words != file.size())
                problems << "data after META_EOF";
            break;
        default:
            break;
        }
        at += 2 * words;
        if (sawEof)
            break;
    }
    if (!sawEof)
        problems << "no META_EOF";
    if (largest != u32(file, header + 12))
        problems << QString("header says the largest record has %1 words, it has %2").arg(u32(file, header + 12)).arg(largest);
    if (depth != 0)
        problems << "SaveDC without RestoreDC at the end";
    result.mostLiveObjects = objects.mostLive;
    return result;
}

}  // namespace kvo::gui::test
