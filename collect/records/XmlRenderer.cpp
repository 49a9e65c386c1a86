#include "XmlRenderer.h"

#include <cstdio>

#include "Check.h"
#include "TagState.h"

XmlRenderer::XmlRenderer() : _level(0), _tagInProgress(false), _skipZeroAttributes(false) {}

XmlRenderer::~XmlRenderer() {
    for (TagState* t : tstack)
        delete t;
}

void XmlRenderer::out(const std::string& s) {
    out(s.c_str());
}

void XmlRenderer::out(const char* s) {
    printf("%s", s);
}

void XmlRenderer::header() {
    out("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
}

void XmlRenderer::terminateOpenTag() {
    if (!tstack.empty() && !tstack.front()->isTerminated()) {
        out(">\n");
        tstack.front()->terminate(true);
    }
}

void XmlRenderer::pushTag(std::string& tag, XmlAttrs* attrs) {
    pushTag(tag.c_str(), attrs);
}

void XmlRenderer::pushTag(const char* tag, XmlAttrs* attrs) {
    terminateOpenTag();
    tstack.push_front(new TagState(tag));
    showIndent();
    std::string s = "<";
    s += tag;
    if (attrs) {
        for (const auto& a : *attrs) {
            s += " ";
            s += a.first;
            s += "=\"";
            s += a.second;
            s += "\"";
        }
    }
    out(s);
    ++_level;
}

void XmlRenderer::popTag() {
    TOLM_CHECK(!tstack.empty());
    TagState* t = tstack.front();
    tstack.pop_front();
    --_level;
    if (t->isTerminated()) {
        showIndent();
        out("</" + t->tag() + ">\n");
    } else {
        out(" />\n");
    }
    delete t;
}

void XmlRenderer::text(std::string& s) {
    terminateOpenTag();
    showIndent();
    out(s + "\n");
}

void XmlRenderer::showIndent() {
    std::string s(_level / 2, '\t');
    if (_level % 2)
        s += "    ";
    if (!s.empty())
        out(s);
}

static std::string format(const char* fmt, unsigned int v) {
    char buf[32];
    snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

static std::string format64(unsigned long long v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
    return buf;
}

void XmlRenderer::addAttr(XmlAttrs& attrs, const char* name, unsigned int value) {
    attrs[name] = format("%d", value);
}

void XmlRenderer::addAttrHex(XmlAttrs& attrs, const char* name, unsigned int value) {
    attrs[name] = format("0x%x", value);
}

void XmlRenderer::addAttr(XmlAttrs& attrs, const char* name, unsigned long long value) {
    attrs[name] = format64(value);
}

void XmlRenderer::renderStatistic(XmlAttrs& attrs) {
    pushTag("statistic", &attrs);
    popTag();
}

void XmlRenderer::renderAttribute(const char* name, unsigned int value) {
    if (_skipZeroAttributes && value == 0)
        return;
    XmlAttrs a{{"name", name}};
    addAttr(a, "value", value);
    renderStatistic(a);
}

void XmlRenderer::renderAttributeHex(const char* name, unsigned int value) {
    if (_skipZeroAttributes && value == 0)
        return;
    XmlAttrs a{{"name", name}};
    addAttrHex(a, "value", value);
    renderStatistic(a);
}

void XmlRenderer::renderAttribute(const char* name, unsigned long long value) {
    if (_skipZeroAttributes && value == 0)
        return;
    XmlAttrs a{{"name", name}};
    addAttr(a, "value", value);
    renderStatistic(a);
}

void XmlRenderer::renderSuccessFailAttribute(const char* name, unsigned int succeeded,
                                             unsigned int failed) {
    if (_skipZeroAttributes && succeeded == 0 && failed == 0)
        return;
    XmlAttrs a{{"name", name}};
    addAttr(a, "succeeded", succeeded);
    addAttr(a, "failed", failed);
    renderStatistic(a);
}

void XmlRenderer::renderSuccessFailAttribute(const char* name, unsigned long long succeeded,
                                             unsigned long long failed) {
    if (_skipZeroAttributes && succeeded == 0 && failed == 0)
        return;
    XmlAttrs a{{"name", name}};
    addAttr(a, "succeeded", succeeded);
    addAttr(a, "failed", failed);
    renderStatistic(a);
}
