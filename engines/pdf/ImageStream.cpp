#include "ImageStream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <qpdf/Buffer.hh>

namespace quillmorph {
namespace {

struct Space {
    ImageStream::Tone tone = ImageStream::Tone::gray;
    QPDFObjectHandle palette; // the lookup of an indexed space, else uninitialised
    int highestIndex = 0;
};

std::optional<ImageStream::Tone> directTone(QPDFObjectHandle space) {
    if (space.isArray() && space.getArrayNItems() >= 1) {
        QPDFObjectHandle family = space.getArrayItem(0);
        if (family.isNameAndEquals("/CalGray"))
            return ImageStream::Tone::gray;
        if (family.isNameAndEquals("/CalRGB"))
            return ImageStream::Tone::rgb;
        if (family.isNameAndEquals("/ICCBased") && space.getArrayNItems() == 2 &&
            space.getArrayItem(1).isStream()) {
            switch (space.getArrayItem(1).getDict().getKey("/N").getIntValueAsInt()) {
            case 1:
                return ImageStream::Tone::gray;
            case 3:
                return ImageStream::Tone::rgb;
            case 4:
                return ImageStream::Tone::cmyk;
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    if (space.isNameAndEquals("/DeviceGray"))
        return ImageStream::Tone::gray;
    if (space.isNameAndEquals("/DeviceRGB"))
        return ImageStream::Tone::rgb;
    if (space.isNameAndEquals("/DeviceCMYK"))
        return ImageStream::Tone::cmyk;
    return std::nullopt;
}

bool isIndexed(QPDFObjectHandle space) {
    return space.isArray() && space.getArrayNItems() == 4 &&
           (space.getArrayItem(0).isNameAndEquals("/Indexed") || space.getArrayItem(0).isNameAndEquals("/I"));
}

std::optional<Space> space(QPDFObjectHandle colourSpace) {
    if (!isIndexed(colourSpace)) {
        const std::optional<ImageStream::Tone> tone = directTone(colourSpace);
        return tone ? std::optional(Space{.tone = *tone, .palette = {}, .highestIndex = 0}) : std::nullopt;
    }
    const std::optional<ImageStream::Tone> base = directTone(colourSpace.getArrayItem(1));
    QPDFObjectHandle highest = colourSpace.getArrayItem(2);
    if (!base || !highest.isInteger() || highest.getIntValue() < 0 || highest.getIntValue() > 255)
        return std::nullopt;
    return Space{.tone = *base, .palette = colourSpace.getArrayItem(3),
                 .highestIndex = highest.getIntValueAsInt()};
}

std::string bytesOf(const std::shared_ptr<Buffer>& buffer) {
    return {reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize()};
}

std::vector<std::string> filters(QPDFObjectHandle dictionary) {
    std::vector<std::string> names;
    for (QPDFObjectHandle filter : dictionary.getKey("/Filter").wrapInArray().aitems()) {
        if (filter.isName())
            names.push_back(filter.getName());
    }
    return names;
}

bool isTrue(QPDFObjectHandle flag) {
    return flag.isBool() && flag.getBoolValue();
}

bool isUndecodable(const std::string& filter) {
    return filter == "/JBIG2Decode" || filter == "/JPXDecode" || filter == "/CCITTFaxDecode";
}

std::optional<std::vector<double>> decodeArray(QPDFObjectHandle dictionary, int components) {
    QPDFObjectHandle decode = dictionary.getKey("/Decode");
    if (!decode.isArray())
        return std::vector<double>{};
    std::vector<double> values;
    for (QPDFObjectHandle value : decode.aitems()) {
        double number = 0;
        if (!value.getValueAsNumber(number) || !std::isfinite(number))
            return std::nullopt;
        values.push_back(number);
    }
    if (values.size() != std::size_t(2 * components))
        return std::nullopt;
    return values;
}

// Reads `bits`-bit samples from the start of a row, most significant bits first.
class SampleReader {
  public:
    SampleReader(const std::uint8_t* row, int bits) : m_row(row), m_bits(bits) {}

    unsigned next() {
        if (m_bits == 8)
            return m_row[m_index++];
        if (m_bits == 16) {
            const unsigned high = m_row[2 * m_index];
            ++m_index;
            return high;
        }
        const std::size_t bit = m_index++ * std::size_t(m_bits);
        return (m_row[bit / 8] >> (8 - m_bits - int(bit % 8))) & ((1u << m_bits) - 1);
    }

  private:
    const std::uint8_t* m_row;
    int m_bits;
    std::size_t m_index = 0;
};

} // namespace

int ImageStream::toneComponents() const {
    switch (tone) {
    case Tone::gray:
        return 1;
    case Tone::rgb:
        return 3;
    case Tone::cmyk:
        return 4;
    }
    return 1;
}

std::vector<std::uint8_t> ImageStream::unpacked() const {
    const std::size_t values = std::size_t(width) * std::size_t(components);
    const std::size_t rowBytes = (values * std::size_t(bitsPerComponent) + 7) / 8;
    std::vector<std::uint8_t> samples(values * std::size_t(height));
    std::uint8_t* out = samples.data();
    for (int y = 0; y < height; ++y) {
        SampleReader reader(reinterpret_cast<const std::uint8_t*>(bytes.data()) + std::size_t(y) * rowBytes,
                            bitsPerComponent);
        for (std::size_t value = 0; value < values; ++value)
            *out++ = std::uint8_t(reader.next());
    }
    return samples;
}

std::vector<std::uint8_t> ImageStream::pixels() const {
    const std::size_t outputs = std::size_t(toneComponents());
    // 16-bit samples are read by their high byte, so they range like 8-bit ones.
    const double largest = bitsPerComponent == 16 ? 255 : double((1u << bitsPerComponent) - 1);
    const int highestIndex = int(palette.size() / outputs) - 1;
    // A table per component from stored value to output value (a palette index for indexed images).
    std::vector<std::array<std::uint8_t, 256>> tables{std::size_t(components)};
    for (std::size_t component = 0; component < tables.size(); ++component) {
        const double low = decode.empty() ? 0 : decode[2 * component];
        const double high = decode.empty() ? (palette.empty() ? 1 : largest) : decode[2 * component + 1];
        for (unsigned value = 0; value <= unsigned(largest); ++value) {
            const double decoded = low + value * (high - low) / largest;
            tables[component][value] =
                palette.empty() ? std::uint8_t(std::lround(std::clamp(decoded, 0.0, 1.0) * 255))
                                : std::uint8_t(std::clamp(int(std::lround(decoded)), 0, highestIndex));
        }
    }
    const std::vector<std::uint8_t> samples = unpacked();
    if (palette.empty()) {
        std::vector<std::uint8_t> pixels(samples.size());
        for (std::size_t index = 0; index < samples.size(); ++index)
            pixels[index] = tables[index % tables.size()][samples[index]];
        return pixels;
    }
    std::vector<std::uint8_t> pixels(samples.size() * outputs);
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const std::uint8_t* entry = &palette[std::size_t(tables[0][samples[index]]) * outputs];
        std::copy(entry, entry + outputs, &pixels[index * outputs]);
    }
    return pixels;
}

std::optional<ImageStream> takeImageStream(QPDFObjectHandle image, double largestPixels) {
    QPDFObjectHandle dictionary = image.getDict();
    QPDFObjectHandle softMask = dictionary.getKey("/SMask");
    if (isTrue(dictionary.getKey("/ImageMask")) || dictionary.getKey("/Mask").isArray() ||
        dictionary.hasKey("/Matte") || (softMask.isStream() && softMask.getDict().hasKey("/Matte")))
        return std::nullopt;
    const std::vector<std::string> chain = filters(dictionary);
    if (std::ranges::any_of(chain, isUndecodable))
        return std::nullopt;
    std::optional<Space> colours = space(dictionary.getKey("/ColorSpace"));
    QPDFObjectHandle width = dictionary.getKey("/Width"), height = dictionary.getKey("/Height");
    QPDFObjectHandle bits = dictionary.getKey("/BitsPerComponent");
    if (!colours || !width.isInteger() || !height.isInteger() || !bits.isInteger())
        return std::nullopt;

    ImageStream stream{.width = width.getIntValueAsInt(), .height = height.getIntValueAsInt(),
                       .bitsPerComponent = bits.getIntValueAsInt(), .tone = colours->tone};
    const int bitsPerComponent = stream.bitsPerComponent;
    if (stream.width <= 0 || stream.height <= 0 || double(stream.width) * stream.height > largestPixels ||
        (bitsPerComponent != 1 && bitsPerComponent != 2 && bitsPerComponent != 4 && bitsPerComponent != 8 &&
         bitsPerComponent != 16))
        return std::nullopt;
    stream.components = colours->palette.isInitialized() ? 1 : stream.toneComponents();
    const std::optional<std::vector<double>> decode = decodeArray(dictionary, stream.components);
    if (!decode)
        return std::nullopt;
    stream.decode = *decode;

    if (colours->palette.isInitialized()) {
        const std::string lookup = colours->palette.isStream() ? bytesOf(colours->palette.getStreamData())
                                   : colours->palette.isString() ? colours->palette.getStringValue()
                                                                 : std::string();
        const std::size_t entries = std::size_t(colours->highestIndex + 1) * std::size_t(stream.toneComponents());
        if (lookup.size() < entries)
            return std::nullopt;
        stream.palette.assign(lookup.begin(), lookup.begin() + std::ptrdiff_t(entries));
    }

    stream.storedBytes = std::size_t(dictionary.getKey("/Length").getIntValue());
    const bool isJPEG = !chain.empty() && chain.back() == "/DCTDecode";
    if (std::count(chain.begin(), chain.end(), "/DCTDecode") > (isJPEG ? 1 : 0))
        return std::nullopt;
    // libvips reads a JPEG file as the PDF means it only when nothing remaps its values.
    if (isJPEG && chain.size() == 1 && stream.tone != ImageStream::Tone::cmyk && stream.palette.empty() &&
        stream.decode.empty() && bitsPerComponent == 8) {
        stream.coding = ImageStream::Coding::jpeg;
        stream.bytes = bytesOf(image.getRawStreamData());
        return stream;
    }
    std::shared_ptr<Buffer> samples;
    try {
        samples = image.getStreamData(isJPEG ? qpdf_dl_all : qpdf_dl_generalized);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const std::size_t rowBytes =
        (std::size_t(stream.width) * std::size_t(stream.components) * std::size_t(bitsPerComponent) + 7) / 8;
    if (samples->getSize() < rowBytes * std::size_t(stream.height))
        return std::nullopt;
    stream.bytes = bytesOf(samples);
    return stream;
}

QPDFObjectHandle keptColourSpace(QPDFObjectHandle image, ImageStream::Tone tone) {
    QPDFObjectHandle own = image.getDict().getKey("/ColorSpace");
    if (isIndexed(own))
        own = own.getArrayItem(1);
    if (directTone(own) == tone)
        return own;
    switch (tone) {
    case ImageStream::Tone::gray:
        return QPDFObjectHandle::newName("/DeviceGray");
    case ImageStream::Tone::rgb:
        return QPDFObjectHandle::newName("/DeviceRGB");
    case ImageStream::Tone::cmyk:
        return QPDFObjectHandle::newName("/DeviceCMYK");
    }
    return QPDFObjectHandle::newName("/DeviceGray");
}

} // namespace quillmorph
