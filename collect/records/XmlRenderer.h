#pragma once

#include <list>
#include <map>
#include <string>

class TagState;

typedef std::map<std::string, std::string> XmlAttrs;

// Writes the XML form of the records: keeps the stack of open elements,
// collapses childless elements into empty-element tags, indents four columns a
// level (two levels make a tab) and optionally leaves out zero statistics.
// The base class writes to standard output; subclasses choose other sinks.
class XmlRenderer {
public:
    XmlRenderer();
    virtual ~XmlRenderer();
    XmlRenderer(const XmlRenderer&) = delete;
    XmlRenderer& operator=(const XmlRenderer&) = delete;

    virtual void close() {}
    virtual void out(const std::string& s);
    virtual void out(const char* s);

    void skipZeroAttributes(bool skip) { _skipZeroAttributes = skip; }
    void header();
    void pushTag(const char* tag, XmlAttrs* attrs);
    void pushTag(std::string& tag, XmlAttrs* attrs);
    void popTag();
    void text(std::string& s);
    void showIndent();

    static void addAttr(XmlAttrs& attrs, const char* name, unsigned int value);
    static void addAttrHex(XmlAttrs& attrs, const char* name, unsigned int value);
    static void addAttr(XmlAttrs& attrs, const char* name, unsigned long long value);

    void renderAttribute(const char* name, unsigned int value);
    void renderAttributeHex(const char* name, unsigned int value);
    void renderAttribute(const char* name, unsigned long long value);
    void renderSuccessFailAttribute(const char* name, unsigned int succeeded, unsigned int failed);
    void renderSuccessFailAttribute(const char* name, unsigned long long succeeded,
                                    unsigned long long failed);

protected:
    int _level;
    bool _tagInProgress;
    bool _skipZeroAttributes;
    std::list<TagState*> tstack;

private:
    void terminateOpenTag();
    void renderStatistic(XmlAttrs& attrs);
};
