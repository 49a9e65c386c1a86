#pragma once

#include <string>

// One open element of an XmlRenderer: its name, and whether its start tag has
// been closed with ">" because the element received content.
class TagState {
public:
    explicit TagState(std::string& tag) : _tag(tag), _terminated(false) {}
    explicit TagState(const char* tag) : _tag(tag), _terminated(false) {}

    const std::string& tag() const { return _tag; }
    bool isTerminated() const { return _terminated; }
    void terminate(bool t) { _terminated = t; }

private:
    std::string _tag;
    bool _terminated;
};
