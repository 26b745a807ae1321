#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "cli/Options.h"
#include "cli/Report.h"
#include "operations/Plan.h"
#include "process/Session.h"

namespace nimbla::cli {

// A planned step as the report shows it: as root for the administrator's, else as the session's
// user.
PlanRecord planned(const Session& session, const PlannedStep& step);

// The read-only probes (`status`, `--dry-run`): whether the client runs and which version is
// installed, the domain removal they lead to and, for a workflow, every command it would run, in
// order: the version read, then the workflow's own plan. Changes nothing; logs what the session
// logs (a front end gives it no log).
// `status` measures each folder through `sizeBudget` entries at most (none: in full).
void probe(const Session& session, Command command, Report& report,
           std::optional<std::size_t> sizeBudget);

// What `status` prints: the client, whether it runs, the system, the domain removal, the
// scripts and the log's place.
std::string statusText(const Report& report);

// The "Traces on disk" lines of status.
std::string tracesText(const std::optional<std::vector<TraceRecord>>& traces);

// What a dry run prints: the refusal it would meet, then every command it would run.
std::string planText(const Report& report, bool quitsClient);

}  // namespace nimbla::cli
