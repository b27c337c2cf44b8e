#include "plot/little_endian_buffer.h"

#include <bit>

namespace kvo::gui {

void LittleEndianBuffer::appendU8(std::uint8_t value)
{
    m_bytes.append(static_cast<char>(value));
}

void LittleEndianBuffer::appendU16(std::uint16_t value)
{
    appendU8(static_cast<std::uint8_t>(value & 0xFFu));
    appendU8(static_cast<std::uint8_t>(value >> 8));
}

void LittleEndianBuffer::appendI16(std::int16_t value)
{
    appendU16(static_cast<std::uint16_t>(value));
}

void LittleEndianBuffer::appendU32(std::uint32_t value)
{
    appendU16(static_cast<std::uint16_t>(value & 0xFFFFu));
    appendU16(static_cast<std::uint16_t>(value >> 16));
}

void LittleEndianBuffer::appendI32(std::int32_t value)
{
    appendU32(static_cast<std::uint32_t>(value));
}

void LittleEndianBuffer::appendF32(float value)
{
    appendU32(std::bit_cast<std::uint32_t>(value));
}

void LittleEndianBuffer::appendBytes(const QByteArray& bytes)
{
    m_bytes.append(bytes);
}

void LittleEndianBuffer::appendUtf16Fixed(const QString& text, int units)
{
    for (int i = 0; i < units; ++i)
        appendU16(i < text.size() ? text.at(i).unicode() : std::uint16_t{0});
}

void LittleEndianBuffer::padTo(int alignment)
{
    while (m_bytes.size() % alignment != 0)
        m_bytes.append('\0');
}

void LittleEndianBuffer::patchU16(qsizetype offset, std::uint16_t value)
{
    m_bytes[offset] = static_cast<char>(value & 0xFFu);
    m_bytes[offset + 1] = static_cast<char>(value >> 8);
}

void LittleEndianBuffer::patchU32(qsizetype offset, std::uint32_t value)
{
    patchU16(offset, static_cast<std::uint16_t>(value & 0xFFFFu));
    patchU16(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace kvo::gui
