#include "PDFRewriter.h"

#include "DrawnImageSizes.h"
#include "ImageRecompressor.h"
#include "ImageStream.h"
#include "PDFEngine.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <new>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>
#include <set>
#include <system_error>
#include <thread>

namespace quillmorph::PDFRewriter {
namespace {

using DrawnImageSizes::DrawnSize;
using ImageRecompressor::Recompressed;

// Images recompress on this many threads; the document itself is only touched by the caller's.
constexpr int workerLimit = 2;

struct Task {
    QPDFObjectHandle image; // touched only on the caller's thread
    ImageStream stream;
    std::optional<PixelSize> largest;
    ImageRecompressor::Options options;
    std::optional<Recompressed> result;
};

// Recompresses images on worker threads while the caller takes the next ones out of the document
// and puts finished ones back. At most workers + 1 images are in memory at once.
class ImagePipeline {
  public:
    explicit ImagePipeline(int workers) : m_capacity(std::size_t(workers) + 1) {
        for (int worker = 0; worker < workers; ++worker)
            m_workers.emplace_back([this] { work(); });
    }

    ~ImagePipeline() {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_changed.notify_all();
    }

    // Queues the task once there is room, handing finished ones to `apply` meanwhile.
    template <typename Apply> void add(Task task, Apply&& apply) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            drain(lock, apply);
            if (m_inFlight < m_capacity)
                break;
            m_changed.wait(lock, [&] { return !m_finished.empty(); });
        }
        ++m_inFlight;
        m_waiting.push_back(std::move(task));
        m_changed.notify_all();
    }

    template <typename Apply> void finish(Apply&& apply) {
        std::unique_lock lock(m_mutex);
        while (m_inFlight > 0) {
            m_changed.wait(lock, [&] { return !m_finished.empty(); });
            drain(lock, apply);
        }
    }

  private:
    template <typename Apply> void drain(std::unique_lock<std::mutex>& lock, Apply& apply) {
        while (!m_finished.empty()) {
            Task task = std::move(m_finished.front());
            m_finished.pop_front();
            --m_inFlight;
            lock.unlock();
            apply(task);
            lock.lock();
        }
    }

    void work() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] { return m_closed || !m_waiting.empty(); });
            if (m_waiting.empty())
                return;
            Task task = std::move(m_waiting.front());
            m_waiting.pop_front();
            lock.unlock();
            try {
                task.result = ImageRecompressor::recompress(task.stream, task.largest, task.options);
            } catch (const std::bad_alloc&) {
                task.result.reset();
            }
            task.stream = {};
            lock.lock();
            m_finished.push_back(std::move(task));
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Task> m_waiting;
    std::deque<Task> m_finished;
    std::size_t m_inFlight = 0;
    const std::size_t m_capacity;
    bool m_closed = false;
    std::vector<std::jthread> m_workers; // last: joined before the queues go
};

int workerCount() {
    return std::clamp(int(std::thread::hardware_concurrency()), 1, workerLimit);
}

// Sides rounded up, so that an image exactly at the resolution is left at its size.
PixelSize pixelsFor(const DrawnSize& drawn, int dpi) {
    const auto side = [&](double points) {
        return int(std::clamp(std::ceil(points * dpi / 72.0 - 1e-6), 1.0, double(INT_MAX / 2)));
    };
    return {.width = side(drawn.width), .height = side(drawn.height)};
}

std::set<QPDFObjGen> softMasks(const std::vector<QPDFObjectHandle>& images) {
    std::set<QPDFObjGen> masks;
    for (QPDFObjectHandle image : images) {
        if (QPDFObjectHandle mask = image.getDict().getKey("/SMask"); mask.isStream() && mask.isIndirect())
            masks.insert(mask.getObjGen());
    }
    return masks;
}

std::vector<QPDFObjectHandle> allImages(QPDF& document) {
    std::vector<QPDFObjectHandle> images;
    for (QPDFObjectHandle object : document.getAllObjects()) {
        if (object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Image"))
            images.push_back(object);
    }
    return images;
}

void replace(QPDFObjectHandle image, const Recompressed& result) {
    QPDFObjectHandle dictionary = image.getDict();
    QPDFObjectHandle colourSpace =
        result.keepsValues ? dictionary.getKey("/ColorSpace") : keptColourSpace(image, result.tone);
    image.replaceStreamData(result.bytes,
                            QPDFObjectHandle::newName(result.filter == Recompressed::Filter::jpeg ? "/DCTDecode"
                                                                                                 : "/FlateDecode"),
                            QPDFObjectHandle::newNull());
    dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(result.width));
    dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(result.height));
    dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(result.bitsPerComponent));
    dictionary.replaceKey("/ColorSpace", colourSpace);
    if (result.keepsValues)
        return;
    if (result.isInvertedCMYK())
        dictionary.replaceKey("/Decode", QPDFObjectHandle::parse("[1 0 1 0 1 0 1 0]"));
    else
        dictionary.removeKey("/Decode");
}

void recompressImages(QPDF& document, const PDFSettings& settings) {
    const std::map<QPDFObjGen, DrawnSize> sizes = DrawnImageSizes::measure(document);
    const std::vector<QPDFObjectHandle> images = allImages(document);
    const std::set<QPDFObjGen> masks = softMasks(images);
    const auto apply = [](Task& task) {
        if (task.result)
            replace(task.image, *task.result);
    };
    ImagePipeline pipeline(workerCount());
    for (QPDFObjectHandle image : images) {
        std::optional<ImageStream> stream;
        try {
            stream = takeImageStream(image, PDFEngine::maxPagePixels);
        } catch (const std::exception&) {
            // A damaged image stays as it is; a lack of memory does not stop here either.
        }
        if (!stream)
            continue;
        const auto drawn = sizes.find(image.getObjGen());
        const bool isMask = masks.contains(image.getObjGen());
        pipeline.add(
            Task{.image = image,
                 .stream = std::move(*stream),
                 .largest = drawn == sizes.end() ? std::nullopt
                                                 : std::optional(pixelsFor(drawn->second, dpi(settings.resolution))),
                 .options = {.quality = settings.imageQuality,
                             .grayscale = settings.grayscale,
                             .role = isMask ? ImageRecompressor::Role::softMask : ImageRecompressor::Role::picture},
                 .result = {}},
            apply);
    }
    pipeline.finish(apply);
}

// Only empty entries, and no XMP copy of them either.
void blankInformation(QPDF& document) {
    document.getTrailer().replaceKey(
        "/Info", document.makeIndirectObject(
                     QPDFObjectHandle::parse("<< /Creator () /Title () /Author () /Subject () >>")));
    document.getRoot().removeKey("/Metadata");
}

std::vector<std::uint8_t> written(QPDF& document) {
    static std::once_flag levelSet;
    std::call_once(levelSet, [] { Pl_Flate::setCompressionLevel(9); });
    QPDFWriter writer(document);
    writer.setOutputMemory();
    writer.setObjectStreamMode(qpdf_o_generate);
    writer.setCompressStreams(true);
    writer.setDecodeLevel(qpdf_dl_generalized);
    writer.setRecompressFlate(true);
    writer.write();
    const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
    return {buffer->getBuffer(), buffer->getBuffer() + buffer->getSize()};
}

std::optional<std::vector<std::uint8_t>> sourceBytes(const std::filesystem::path& file) {
    std::ifstream input(file, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
    if (!input && !input.eof())
        return std::nullopt;
    return bytes;
}

} // namespace

tl::expected<std::vector<std::uint8_t>, PDFEngineError> compress(const std::filesystem::path& file,
                                                                 const PDFSettings& settings) {
    // Anything but a regular file (a FIFO, a device) could block the reader forever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return tl::unexpected(PDFEngineError::unreadable(file));
    try {
        QPDF document;
        document.setSuppressWarnings(true);
        try {
            document.processFile(file.c_str());
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception&) {
            return tl::unexpected(PDFEngineError::unreadable(file));
        }
        recompressImages(document, settings);
        if (settings.optimize)
            blankInformation(document);
        std::vector<std::uint8_t> result;
        try {
            result = written(document);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception&) {
            return tl::unexpected(PDFEngineError::encodingFailed());
        }
        if (result.size() >= std::filesystem::file_size(file, error) && !error) {
            std::optional<std::vector<std::uint8_t>> source = sourceBytes(file);
            if (!source)
                return tl::unexpected(PDFEngineError::unreadable(file));
            return std::move(*source);
        }
        return result;
    } catch (const std::bad_alloc&) {
        return tl::unexpected(PDFEngineError::renderFailed());
    } catch (const std::exception&) {
        return tl::unexpected(PDFEngineError::encodingFailed());
    }
}

} // namespace quillmorph::PDFRewriter
