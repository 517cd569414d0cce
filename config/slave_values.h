#pragma once
// The checks every outside description of slaves goes through before its
// texts become slaves (plinthctl build from JSON or CSV, the window's CSV
// import): what a typed value may be, and how a bad one is named. The
// messages quote the text as given.
#include <functional>
#include <string>
#include <string_view>

#include "config/slave_list_rules.h"
#include "config/slave_record.h"

namespace plinth {

// A text from the input, quoted and cut to a few dozen characters.
std::string QuotedInput(const std::string& text);

// Why text cannot be the value of key (a slave key of the JSON form), such
// as "\"10.0.0.800\" is not an IPv4 address (...)"; "" when it can. An empty
// text is always allowed (none); names, descriptions and statuses are free,
// and nodes are checked over the whole list (FindNodeProblems).
std::string SlaveValueProblem(std::string_view key, const std::string& text);

// A node problem in words, naming the other slave by nameOf(slot): "\"900\"
// is outside the node numbers 1 to 254", "\"5\": node 5 is already
// slaves[0]'s", ...
std::string DescribeNodeProblem(const NodeProblem& problem, const DataList& list,
                                const std::function<std::string(int slot)>& nameOf);

}  // namespace plinth
