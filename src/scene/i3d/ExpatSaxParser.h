#pragma once
// A streaming XML parser over expat: element starts (name and the
// name/value attribute pairs, null-terminated) and ends go to a handler as
// the text is fed in chunks. The only place that includes expat.

#include <cstddef>
#include <cstdint>

struct XML_ParserStruct;

class IXmlElementHandler {
public:
    virtual ~IXmlElementHandler() = default;
    virtual void startElement(const char* name, const char** attributes) = 0;
    virtual void endElement() = 0;
};

class ExpatSaxParser {
public:
    explicit ExpatSaxParser(IXmlElementHandler& handler);
    ~ExpatSaxParser();
    ExpatSaxParser(const ExpatSaxParser&) = delete;
    ExpatSaxParser& operator=(const ExpatSaxParser&) = delete;

    // False when expat could not allocate its parser.
    bool isValid() const { return m_parser != nullptr; }
    // A buffer of `size` bytes for the next chunk, or none when out of memory.
    void* getBuffer(size_t size);
    // Parses `count` bytes of the buffer; `final` for the last chunk. False
    // on an XML error or after stop().
    bool parseBuffer(size_t count, bool final);
    // Ends the parse from inside a handler call.
    void stop();

    uint32_t errorLine() const;
    const char* errorText() const;

private:
    XML_ParserStruct* m_parser;
};
