// The kind of a printer's port, told apart as the instance tells them apart when it
// looks for its printer: a name that begins with "USB" (capitals), a UNC path, a local
// name that the network redirector maps to a remote printer, or any other local port.
#pragma once

#include <string>

constexpr char kPortUsb[] = "USB";
constexpr char kPortNetwork[] = "network";
constexpr char kPortRedirected[] = "redirected";
constexpr char kPortOther[] = "other";

const char *ClassifyPort(const std::string &port);
