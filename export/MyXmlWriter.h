#pragma once
// Collects what pugixml serialises into one byte array.

#include <QByteArray>

#include <pugixml.hpp>

class MyXmlWriter : public pugi::xml_writer
{
public:
    void write(const void *data, size_t size) override
    {
        bytes.append(static_cast<const char *>(data), static_cast<int>(size));
    }

    QByteArray bytes;
};
