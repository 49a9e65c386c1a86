#pragma once

#include <string>

// Turns the XML form of one record into a JSON object: attributes and
// statistics become members under their own names (a success/fail statistic
// an object of its two counts), a section without attributes a member object,
// and repeated elements with attributes (pools, volumes, disks, buckets)
// arrays named by their element. Numbers stay as the record renders them.
std::string xmlToJson(const std::string& xml);
