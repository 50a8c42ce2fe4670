#include "audio/VorbisFileWrap.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "foundation/File.h"

namespace {

// Damaged pages (holes) skipped in one read before it gives up.
constexpr int kMaxHolesPerRead = 64;

size_t readCallback(void* destination, size_t size, size_t count, void* source) {
    return static_cast<VorbisFileWrap*>(source)->readBytes(destination, size, count);
}

int seekCallback(void* source, ogg_int64_t offset, int origin) {
    return static_cast<VorbisFileWrap*>(source)->seekTo(offset, origin);
}

// The wrap closes the file when it goes.
int closeCallback(void*) {
    return 0;
}

long tellCallback(void* source) {
    return static_cast<VorbisFileWrap*>(source)->tell();
}

}  // namespace

struct VorbisFileWrap::Decoder {
    OggVorbis_File file{};
    vorbis_info* info = nullptr;
};

VorbisFileWrap::VorbisFileWrap() = default;

VorbisFileWrap::~VorbisFileWrap() {
    if (m_decoder) {
        ov_clear(&m_decoder->file);
    }
}

bool VorbisFileWrap::open(const std::string& fileName) {
    m_file = FileSystem::openFile(fileName, FileMode::Read);
    if (!m_file) {
        return false;
    }
    m_size = std::max(m_file->getSize(), 0);
    m_position = 0;
    auto decoder = std::make_unique<Decoder>();
    const ov_callbacks callbacks = {readCallback, seekCallback, closeCallback, tellCallback};
    if (ov_open_callbacks(this, &decoder->file, nullptr, 0, callbacks) != 0) {
        m_file.reset();
        return false;
    }
    decoder->info = ov_info(&decoder->file, -1);
    if (decoder->info == nullptr) {
        ov_clear(&decoder->file);
        m_file.reset();
        return false;
    }
    m_decoder = std::move(decoder);
    return true;
}

bool VorbisFileWrap::isOpen() const {
    return m_decoder != nullptr;
}

int VorbisFileWrap::getChannels() const {
    return m_decoder ? m_decoder->info->channels : 0;
}

int64_t VorbisFileWrap::getRate() const {
    return m_decoder ? m_decoder->info->rate : 0;
}

int64_t VorbisFileWrap::read(uint8_t* destination, int64_t count) {
    if (!m_decoder || destination == nullptr || count <= 0) {
        return 0;
    }
    int64_t delivered = 0;
    int holes = 0;
    while (delivered < count) {
        const int want = static_cast<int>(std::min<int64_t>(count - delivered, 4096));
        int section = 0;
        long n = ov_read(&m_decoder->file, reinterpret_cast<char*>(destination + delivered), want,
                         0 /* little-endian */, 2 /* 16 bit */, 1 /* signed */, &section);
        if (n == OV_HOLE && ++holes <= kMaxHolesPerRead) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        delivered += std::min<int64_t>(n, want);
    }
    return delivered;
}

bool VorbisFileWrap::rewind() {
    return m_decoder && ov_raw_seek(&m_decoder->file, 0) == 0;
}

size_t VorbisFileWrap::readBytes(void* destination, size_t size, size_t count) {
    if (!m_file || size == 0 || count == 0) {
        return 0;
    }
    // Sizes from the decoder are bounded by what is left of the file.
    const int64_t left = std::max<int64_t>(m_size - m_position, 0);
    const int64_t items = std::min<int64_t>(static_cast<int64_t>(count), left / size);
    const int64_t bytes = std::min<int64_t>(items * static_cast<int64_t>(size), INT_MAX);
    if (bytes <= 0) {
        return 0;
    }
    int got = m_file->read(destination, static_cast<int>(bytes));
    if (got <= 0) {
        return 0;
    }
    m_position += got;
    return static_cast<size_t>(got) / size;
}

int VorbisFileWrap::seekTo(int64_t offset, int origin) {
    if (!m_file) {
        return -1;
    }
    int64_t target = 0;
    switch (origin) {
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = m_position + offset;
            break;
        case SEEK_END:
            target = m_size + offset;
            break;
        default:
            return -1;
    }
    if (target < 0 || target > m_size || target > INT_MAX) {
        return -1;
    }
    if (m_file->seek(static_cast<int>(target)) < 0) {
        return -1;
    }
    m_position = target;
    return 0;
}
