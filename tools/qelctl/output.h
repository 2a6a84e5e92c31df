// What a command tells its user: readable lines on stdout as they happen, or, with
// --json, one JSON object on stdout when the command ends. Errors always go to stderr.
//
//     Output out(json, "status", printer);
//     out.Line("status: ready (0x98)");
//     out.Fields().Add("answer", 152u);
//     return out.Finish(kExitOk);
#pragma once

#include <string>

#include "json.h"

class Output {
public:
    Output(bool json, const std::string &command, const std::string &printer);

    bool IsJson() const { return json_; }
    // A line for people; printed at once (and flushed) unless --json.
    void Line(const std::string &text);
    // The command's own fields for --json.
    JsonObject &Fields() { return fields_; }
    // Reports a failure on stderr and remembers it for --json; answers exitCode.
    int Fail(int exitCode, const std::string &message);
    // A command whose --json output is not the usual object (list prints one array)
    // gives the whole document here; Finish then prints it instead.
    void SetDocument(const std::string &json) { document_ = json; }
    // Prints the JSON object (with --json) and answers the exit code to return.
    int Finish(int exitCode);

private:
    bool json_;
    std::string command_;
    std::string printer_;
    std::string error_;
    std::string document_;
    JsonObject fields_;
};

// Local time as HH:MM:SS.mmm, for lines that arrive over time.
std::string FormatTimestamp();
// Seconds with one decimal, "2.5 s".
std::string FormatSeconds(unsigned long milliseconds);
