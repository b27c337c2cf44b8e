#pragma once
// A growing byte buffer for binary file formats stored little-endian (the
// Windows metafiles). Values are appended in order; a field whose value is known
// only later (a record size, a total count) is reserved and patched afterwards.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace kvo::gui {

class LittleEndianBuffer {
public:
    void appendU8(std::uint8_t value);
    void appendU16(std::uint16_t value);
    void appendI16(std::int16_t value);
    void appendU32(std::uint32_t value);
    void appendI32(std::int32_t value);
    void appendF32(float value);
    void appendBytes(const QByteArray& bytes);
    // `text` as UTF-16 code units, cut or padded with zeros to exactly `units` units.
    void appendUtf16Fixed(const QString& text, int units);
    // Zero bytes until the size is a multiple of `alignment`.
    void padTo(int alignment);

    void patchU16(qsizetype offset, std::uint16_t value);
    void patchU32(qsizetype offset, std::uint32_t value);

    [[nodiscard]] qsizetype size() const { return m_bytes.size(); }
    [[nodiscard]] const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

}  // namespace kvo::gui
