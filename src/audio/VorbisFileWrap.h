#pragma once
// An Ogg Vorbis decoder over a file of the virtual file system: it owns the
// open file and the decoder state, and hands the decoder the file through
// read, seek, close and tell callbacks.

#include <cstdint>
#include <memory>
#include <string>

class File;

class VorbisFileWrap {
public:
    VorbisFileWrap();
    ~VorbisFileWrap();
    VorbisFileWrap(const VorbisFileWrap&) = delete;
    VorbisFileWrap& operator=(const VorbisFileWrap&) = delete;

    // Opens the file and the decoder; false (nothing logged) when the file
    // cannot be opened or is no Ogg Vorbis stream.
    bool open(const std::string& fileName);
    bool isOpen() const;

    int getChannels() const;
    // Sample rate in Hz; 0 when not open.
    int64_t getRate() const;

    // Decodes up to `count` bytes of 16-bit signed little-endian samples;
    // the bytes delivered, 0 at the end of the stream or on an error that
    // cannot be skipped. Damaged pages are skipped a bounded number of times.
    int64_t read(uint8_t* destination, int64_t count);
    // Back to the start of the stream.
    bool rewind();

    // Callback bodies (public for the decoder's C callbacks).
    size_t readBytes(void* destination, size_t size, size_t count);
    int seekTo(int64_t offset, int origin);
    long tell() const { return static_cast<long>(m_position); }

private:
    struct Decoder;
    std::unique_ptr<File> m_file;
    std::unique_ptr<Decoder> m_decoder;
    int64_t m_position = 0;
    int64_t m_size = 0;
};
