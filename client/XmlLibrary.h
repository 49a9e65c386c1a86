#pragma once

#include <libxml/xmlreader.h>

// The few entry points of libxml2's reader that XmlDocument uses, taken from
// the library when the first XML file is read. A tool that reads only binary
// records never loads it: libxml2 and the ICU it brings cost every start of
// a process about a millisecond and a half, more than a hundred binary
// records take to read.
struct XmlLibrary {
    decltype(&xmlReaderForFd) readerForFd;
    decltype(&xmlTextReaderRead) read;
    decltype(&xmlTextReaderNodeType) nodeType;
    decltype(&xmlTextReaderConstName) constName;
    decltype(&xmlTextReaderConstValue) constValue;
    decltype(&xmlTextReaderIsEmptyElement) isEmptyElement;
    decltype(&xmlTextReaderMoveToNextAttribute) moveToNextAttribute;
    decltype(&xmlFreeTextReader) freeTextReader;
    decltype(&xmlGetLastError) lastError;

    // The library, loaded and initialised once for the process (from any
    // thread); throws SerializationException naming the library and the
    // loader's reason when it cannot be loaded or lacks an entry point.
    static const XmlLibrary& get();
};
