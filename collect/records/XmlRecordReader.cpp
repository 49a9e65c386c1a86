#include "XmlRecordReader.h"

#include <cerrno>
#include <cstdlib>

#include "SerializationException.h"

bool parseXmlNumber(const std::string& text, uint64_t* v) {
    if (text.empty())
        return false;
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    if (s[0] == '-') {
        long long n = strtoll(s, &end, 10);
        *v = static_cast<uint64_t>(n);
    } else if (s[0] >= '0' && s[0] <= '9') {
        bool hex = text.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        *v = strtoull(s, &end, hex ? 16 : 10);
    } else {
        return false;
    }
    return errno == 0 && end && *end == '\0';
}

XmlRecordReader::XmlRecordReader(const XmlElement& element) : _element(element) {}

void XmlRecordReader::expectRoot(const XmlElement& root, const char* name) {
    if (root.name() != name)
        throw SerializationException("XML root <" + root.name() + "> is not <" + name + ">", 0);
}

void XmlRecordReader::fail(const std::string& why) const {
    throw SerializationException("XML element <" + _element.name() + ">: " + why, 0);
}

uint64_t XmlRecordReader::attribute(const char* name) const {
    std::string text;
    uint64_t v = 0;
    if (!_element.attribute(name, &text))
        fail(std::string("no attribute ") + name);
    if (!parseXmlNumber(text, &v))
        fail(std::string("attribute ") + name + " is no number: " + text);
    return v;
}

std::string XmlRecordReader::text(const char* name) const {
    std::string text;
    if (!_element.attribute(name, &text))
        fail(std::string("no attribute ") + name);
    return text;
}

bool XmlRecordReader::nextIsStatistic(const char* name) const {
    const auto& kids = _element.children();
    if (_next >= kids.size() || kids[_next]->name() != "statistic")
        return false;
    std::string n;
    return kids[_next]->attribute("name", &n) && n == name;
}

bool XmlRecordReader::take(const char* name, const char* attr, uint64_t* v) {
    if (!nextIsStatistic(name))
        return false;
    const XmlElement& s = *_element.children()[_next];
    std::string text;
    if (!s.attribute(attr, &text) || !parseXmlNumber(text, v))
        fail(std::string("statistic ") + name + " has no number " + attr);
    return true;
}

void XmlRecordReader::statistic(const char* name, uint32_t& v) {
    uint64_t n = 0;
    if (take(name, "value", &n))
        _next++;
    v = static_cast<uint32_t>(n);
}

void XmlRecordReader::statistic(const char* name, int32_t& v) {
    uint64_t n = 0;
    if (take(name, "value", &n))
        _next++;
    v = static_cast<int32_t>(static_cast<uint32_t>(n));
}

void XmlRecordReader::statistic(const char* name, uint16_t& v) {
    uint64_t n = 0;
    if (take(name, "value", &n))
        _next++;
    v = static_cast<uint16_t>(n);
}

void XmlRecordReader::statistic(const char* name, uint64_t& v) {
    v = 0;
    if (take(name, "value", &v))
        _next++;
}

void XmlRecordReader::statistic(const char* name, uint64_t& succeeded, uint64_t& failed) {
    succeeded = failed = 0;
    if (take(name, "succeeded", &succeeded)) {
        uint64_t f = 0;
        if (!take(name, "failed", &f))
            fail(std::string("statistic ") + name + " has no number failed");
        failed = f;
        _next++;
    }
}

void XmlRecordReader::counts(const char* name, uint32_t* a, size_t n) {
    for (size_t i = 0; i < n; i++)
        a[i] = 0;
    const XmlElement* e = child(name);
    if (!e)
        return;
    for (const XmlElement* bucket : e->children()) {
        XmlRecordReader b(*bucket);
        if (bucket->name() != "bucket")
            b.fail("not a bucket of " + std::string(name));
        uint64_t at = b.attribute("bucketno");
        if (at >= n)
            b.fail("bucket " + std::to_string(at) + " past " + std::to_string(n));
        a[at] = static_cast<uint32_t>(b.attribute("count"));
    }
}

const XmlElement* XmlRecordReader::child(const char* tag) {
    const auto& kids = _element.children();
    if (_next >= kids.size() || kids[_next]->name() != tag)
        return nullptr;
    return kids[_next++];
}

void XmlRecordReader::finish() const {
    const auto& kids = _element.children();
    if (_next >= kids.size())
        return;
    std::string n;
    kids[_next]->attribute("name", &n);
    fail("unexpected <" + kids[_next]->name() + (n.empty() ? "" : " name=\"" + n + "\"") + ">");
}
