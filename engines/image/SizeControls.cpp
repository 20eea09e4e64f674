#include "SizeControls.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace quillmorph {
namespace {

// 2^63: the first whole double that no longer fits a signed 64-bit integer.
constexpr double int64Limit = 9223372036854775808.0;

std::optional<std::int64_t> wholePixels(double value) {
    const double whole = std::max(1.0, std::round(value));
    if (!(whole < int64Limit))
        return std::nullopt;
    return std::int64_t(whole);
}

} // namespace

SizeControls::SizeControls(FrameSizing sizing, bool isLinked, Callbacks callbacks)
    : m_sizing(sizing), m_isLinked(isLinked), m_callbacks(std::move(callbacks)) {}

void SizeControls::setSource(Size source) {
    if (source == m_source)
        return;
    m_source = source;
    reset();
}

void SizeControls::setUnit(SizeUnit unit) {
    const SizeUnit old = m_unit;
    m_unit = unit;
    convert(old, unit);
}

void SizeControls::fieldChanged(Side side, std::string text) {
    if (m_text[index(side)] == text)
        return;
    m_text[index(side)] = std::move(text);
    edited(side);
}

double SizeControls::ratio() const {
    return m_source.height > 0 ? m_source.width / m_source.height : 1;
}

void SizeControls::write(Side side, const std::string& text) {
    if (m_text[index(side)] == text)
        return;
    m_written[index(side)] = text;
    m_text[index(side)] = text;
    m_changedWhileSyncing[index(side)] = true;
    if (m_callbacks.onWrite)
        m_callbacks.onWrite(side, text);
}

void SizeControls::endSync() {
    m_isSyncing = false;
    for (const Side side : {Side::width, Side::height}) {
        if (std::exchange(m_changedWhileSyncing[index(side)], false))
            edited(side);
    }
}

void SizeControls::edited(Side side) {
    if (m_isSyncing || m_source == Size{})
        return;
    if (std::optional<std::string> written = std::exchange(m_written[index(side)], std::nullopt)) {
        // The change was the controls' own write.
        if (*written == m_text[index(side)])
            return;
    }
    if (m_isLinked) {
        beginSync();
        if (const std::optional<double> value = NumberField::parse(m_text[index(side)])) {
            const bool pixels = m_unit == SizeUnit::pixels;
            if (side == Side::width)
                write(Side::height, NumberField::text(pixels ? *value / ratio() : *value, m_unit));
            else
                write(Side::width, NumberField::text(pixels ? *value * ratio() : *value, m_unit));
        }
        endSync();
    }
    rebuild();
    if (m_callbacks.onEdit)
        m_callbacks.onEdit();
}

void SizeControls::rebuild() {
    const std::optional<double> width = NumberField::parse(m_text[0]);
    const std::optional<double> height = NumberField::parse(m_text[1]);
    if (!width || !height || m_source == Size{})
        return;
    const bool percent = m_unit == SizeUnit::percent;
    const std::optional<std::int64_t> pixelWidth =
        wholePixels(percent ? m_source.width * *width / 100 : *width);
    const std::optional<std::int64_t> pixelHeight =
        wholePixels(percent ? m_source.height * *height / 100 : *height);
    // Absurd values typed by hand never reach the request.
    if (!pixelWidth || !pixelHeight)
        return;
    m_sizing = m_isLinked ? FrameSizing::fit(*pixelWidth, *pixelHeight)
                          : FrameSizing::exact(*pixelWidth, *pixelHeight);
}

void SizeControls::convert(SizeUnit from, SizeUnit to) {
    if (from == to || m_source == Size{})
        return;
    beginSync();
    const auto converted = [&](const std::string& text, double sourceLength) {
        double value = NumberField::parse(text).value_or(0);
        if (sourceLength > 0)
            value = to == SizeUnit::pixels ? sourceLength * value / 100 : value / sourceLength * 100;
        return NumberField::text(value, to);
    };
    const std::string width = converted(m_text[0], m_source.width);
    const std::string height = converted(m_text[1], m_source.height);
    write(Side::width, width);
    write(Side::height, height);
    endSync();
}

void SizeControls::reset() {
    if (m_source == Size{})
        return;
    beginSync();
    m_unit = SizeUnit::pixels;
    if (m_sizing.kind == FrameSizing::Kind::untouched) {
        write(Side::width, NumberField::text(m_source.width, SizeUnit::pixels));
        write(Side::height, NumberField::text(m_source.height, SizeUnit::pixels));
    } else {
        write(Side::width, std::to_string(std::max<std::int64_t>(1, m_sizing.width)));
        write(Side::height, std::to_string(std::max<std::int64_t>(1, m_sizing.height)));
    }
    endSync();
}

void SizeControls::toggleLock() {
    m_isLinked = !m_isLinked;
    if (m_isLinked)
        edited(Side::width);
    else
        rebuild();
    if (m_callbacks.onEdit)
        m_callbacks.onEdit();
}

bool SizeControls::step(Side side, double delta) {
    const std::optional<std::string> text = NumericField::stepped(m_text[index(side)], delta, m_unit);
    if (!text)
        return false;
    fieldChanged(side, *text);
    return true;
}

void SizeControls::endEditing(Side side) {
    if (const std::optional<std::string> text = NumericField::endEditing(m_text[index(side)], m_unit))
        fieldChanged(side, *text);
}

Phrase SizeControls::lockHelp() const {
    return m_isLinked ? Phrase::lockLockedHelp : Phrase::lockFreeHelp;
}

Phrase SizeControls::lockLabel() const {
    return m_isLinked ? Phrase::lockLockedLabel : Phrase::lockFreeLabel;
}

namespace NumericField {

std::optional<std::string> stepped(std::string_view text, double delta, SizeUnit unit) {
    const std::optional<double> value = NumberField::parse(text);
    if (!value)
        return std::nullopt;
    return NumberField::text(std::max(1.0, *value + delta), unit);
}

std::optional<std::string> endEditing(std::string_view text, SizeUnit unit) {
    const std::optional<double> value = NumberField::parse(text);
    if (!value)
        return std::nullopt;
    std::string formatted = NumberField::text(*value, unit);
    if (formatted == text)
        return std::nullopt;
    return formatted;
}

} // namespace NumericField
} // namespace quillmorph
