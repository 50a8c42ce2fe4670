#include "scene/i3d/ExpatSaxParser.h"

#include <expat.h>

namespace {

void XMLCALL onStart(void* handler, const XML_Char* name, const XML_Char** attributes) {
    static_cast<IXmlElementHandler*>(handler)->startElement(name, attributes);
}

void XMLCALL onEnd(void* handler, const XML_Char*) {
    static_cast<IXmlElementHandler*>(handler)->endElement();
}

}  // namespace

ExpatSaxParser::ExpatSaxParser(IXmlElementHandler& handler) : m_parser(XML_ParserCreate(nullptr)) {
    if (m_parser != nullptr) {
        XML_SetUserData(m_parser, &handler);
        XML_SetElementHandler(m_parser, onStart, onEnd);
    }
}

ExpatSaxParser::~ExpatSaxParser() {
    if (m_parser != nullptr) {
        XML_ParserFree(m_parser);
    }
}

void* ExpatSaxParser::getBuffer(size_t size) {
    return XML_GetBuffer(m_parser, static_cast<int>(size));
}

bool ExpatSaxParser::parseBuffer(size_t count, bool final) {
    return XML_ParseBuffer(m_parser, static_cast<int>(count), final ? XML_TRUE : XML_FALSE) !=
           XML_STATUS_ERROR;
}

void ExpatSaxParser::stop() {
    XML_StopParser(m_parser, XML_FALSE);
}

uint32_t ExpatSaxParser::errorLine() const {
    return static_cast<uint32_t>(XML_GetCurrentLineNumber(m_parser));
}

const char* ExpatSaxParser::errorText() const {
    return XML_ErrorString(XML_GetErrorCode(m_parser));
}
