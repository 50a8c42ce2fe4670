#include "foundation/XMLConfigFile.h"

#include <tinyxml.h>

#include <cstdlib>
#include <cstring>

#include "foundation/File.h"
#include "foundation/Log.h"
#include "foundation/TextUtil.h"

void Properties::setFloat(const char* path, float value) {
    setString(path, formatFloatValue(value).c_str());
}

XMLConfigFile::XMLConfigFile(const std::string& path, const std::string& entityName,
                             bool registered)
    : Properties(entityName, registered) {
    auto file = FileSystem::openFile(path, FileMode::Read);
    load(file.get(), path);
}

XMLConfigFile::XMLConfigFile(File& file, const std::string& path)
    : Properties("ShaderCacheFile", false) {
    load(&file, path);
}

XMLConfigFile::~XMLConfigFile() = default;

void XMLConfigFile::load(File* file, const std::string& path) {
    if (file == nullptr) {
        Log::get() << "Error: Failed to open xml file " << path << "'\n";
        return;
    }
    m_document = std::make_unique<TiXmlDocument>();
    int size = file->getSize();
    std::string text;
    if (size > 0) {
        text.resize(static_cast<size_t>(size));
        int read = file->read(text.data(), size);
        text.resize(read > 0 ? static_cast<size_t>(read) : 0);
    }
    // The parser steps over a whole UTF-8 sequence once it sees a lead byte;
    // a few zero bytes after the text keep a document that ends in one
    // inside the buffer.
    text.append(4, '\0');
    m_document->Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    if (m_document->Error()) {
        Log::get() << "Error: " << path << "(" << static_cast<int32_t>(m_document->ErrorRow())
                   << "): " << m_document->ErrorDesc() << "\n";
    } else {
        m_loaded = true;
    }
    m_fileName = path;
}

TiXmlElement* XMLConfigFile::resolve(const char* path, std::string* attribute) const {
    if (!m_loaded || !m_document || path == nullptr) {
        return nullptr;
    }
    std::string text(path);
    size_t hash = text.find('#');
    std::string elementPath = text.substr(0, hash);
    if (attribute != nullptr) {
        attribute->clear();
        if (hash != std::string::npos) {
            size_t next = text.find('#', hash + 1);
            *attribute = text.substr(hash + 1, next == std::string::npos ? next : next - hash - 1);
        }
    }
    TiXmlElement* element = m_document->RootElement();
    if (element == nullptr) {
        return nullptr;
    }
    size_t start = 0;
    bool first = true;
    for (;;) {
        size_t dot = elementPath.find('.', start);
        std::string component =
            elementPath.substr(start, dot == std::string::npos ? dot : dot - start);
        if (first) {
            if (strcasecmp(component.c_str(), element->Value()) != 0) {
                return nullptr;
            }
            first = false;
        } else {
            int index = 0;
            if (!component.empty() && component.back() == ')') {
                size_t open = component.rfind('(');
                if (open != std::string::npos) {
                    index = std::atoi(component.c_str() + open + 1);
                    component.resize(open);
                }
            }
            TiXmlElement* child = element->FirstChildElement(component.c_str());
            for (int i = 0; i < index && child != nullptr; ++i) {
                child = child->NextSiblingElement(component.c_str());
            }
            if (index < 0 || child == nullptr) {
                return nullptr;
            }
            element = child;
        }
        if (dot == std::string::npos) {
            return element;
        }
        start = dot + 1;
    }
}

const char* XMLConfigFile::getString(const char* path) const {
    std::string attribute;
    TiXmlElement* element = resolve(path, &attribute);
    if (element == nullptr) {
        return nullptr;
    }
    if (!attribute.empty() || (path != nullptr && std::strchr(path, '#') != nullptr)) {
        return element->Attribute(attribute.c_str());
    }
    TiXmlNode* child = element->FirstChild();
    if (child != nullptr && child->ToText() != nullptr) {
        return child->Value();
    }
    return nullptr;
}

void XMLConfigFile::setString(const char* path, const char* value) {
    if (value == nullptr) {
        return;
    }
    std::string attribute;
    TiXmlElement* element = resolve(path, &attribute);
    if (element == nullptr) {
        return;
    }
    if (std::strchr(path, '#') != nullptr) {
        // An attribute without a name would make the document unusable: the
        // next attribute added to the element trips the parser library.
        if (attribute.empty()) {
            Log::get() << "Error: Invalid xml path '" << path << "', attribute name missing\n";
            return;
        }
        element->SetAttribute(attribute.c_str(), value);
        return;
    }
    TiXmlNode* child = element->FirstChild();
    if (child != nullptr && child->ToText() != nullptr) {
        child->SetValue(value);
    }
}

std::string XMLConfigFile::getAllText(const char* path) const {
    std::string text;
    TiXmlElement* element = resolve(path, nullptr);
    if (element == nullptr) {
        return text;
    }
    for (TiXmlNode* child = element->FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (child->ToText() != nullptr) {
            text += child->Value();
        }
    }
    return text;
}

bool XMLConfigFile::hasElement(const char* path) const {
    return resolve(path, nullptr) != nullptr;
}

void XMLConfigFile::save() {
    if (m_loaded && m_document) {
        m_document->SaveFile(m_fileName.c_str());
    }
}
