// One handler per command; the table in command_table.cpp names them.
#pragma once

#include "command_support.h"

// commands_channel.cpp: one client message each, answer decoded.
int RunEnum(CommandContext &context);
int RunStatus(CommandContext &context);
int RunDeviceId(CommandContext &context);
// open, close, ping, noop, startdoc, enddoc and capture-alerts: one table of requests
// that answer 1 or 0.
int RunOneOrZero(CommandContext &context);

// commands_data.cpp: packets in and out.
int RunWrite(CommandContext &context);
int RunRead(CommandContext &context);
int RunBidi(CommandContext &context);

// commands_send_file.cpp
int RunSendFile(CommandContext &context);

// commands_store.cpp: the registry mailbox.
int RunStore(CommandContext &context);
int RunRetrieve(CommandContext &context);

// commands_lifecycle.cpp
int RunInfo(CommandContext &context);
int RunWaitReady(CommandContext &context);
int RunStop(CommandContext &context);

// commands_alerts.cpp
int RunAlerts(CommandContext &context);

// commands_log.cpp
int RunLog(CommandContext &context);

// commands_list.cpp
int RunList(CommandContext &context);

// commands_start.cpp
int RunStart(CommandContext &context);

// commands_check.cpp
int RunCheck(CommandContext &context);
