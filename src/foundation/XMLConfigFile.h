#pragma once
// Properties over a parsed XML document (TinyXML).

#include <memory>
#include <string>

#include "foundation/Properties.h"

class File;
class TiXmlDocument;
class TiXmlElement;

class XMLConfigFile : public Properties {
public:
    // Opens the path through the file system and parses it.
    XMLConfigFile(const std::string& path, const std::string& entityName, bool registered);
    // Parses an already opened file; the entity is "ShaderCacheFile".
    XMLConfigFile(File& file, const std::string& path);
    ~XMLConfigFile() override;

    const char* getClassName() const override { return "XMLConfigFile"; }

    const char* getString(const char* path) const override;
    void setString(const char* path, const char* value) override;
    bool hasElement(const char* path) const override;
    // Every text and CDATA piece directly inside the element, joined (a
    // CDATA block split around "]]>" reads back whole); empty when missing.
    std::string getAllText(const char* path) const;
    void save() override;

    bool isLoaded() const { return m_loaded; }
    const std::string& getFileName() const { return m_fileName; }

private:
    void load(File* file, const std::string& path);
    TiXmlElement* resolve(const char* path, std::string* attribute) const;

    bool m_loaded = false;
    std::string m_fileName;
    std::unique_ptr<TiXmlDocument> m_document;
};
