#include "cli/Report.h"

namespace nimbla::cli {

nlohmann::json accountsJson(const Report& report) {
    using nlohmann::json;
    if (!report.accounts) {
        return nullptr;
    }
    json accounts = json::array();
    for (const AccountRecord& account : *report.accounts) {
        // Each account's steps, plan and traces in the same form as the run's own.
        Report part;
        part.steps = account.steps;
        part.plan = account.plan;
        part.traces = account.traces;
        json whole = toJson(part);
        accounts.push_back(
            {{"user", account.user},
             {"uid", account.uid},
             {"home", account.home},
             {"outcome", account.outcome ? json(*account.outcome) : json(nullptr)},
             {"steps", whole["steps"]},
             {"plan", whole["plan"]},
             {"traces", whole["traces"]},
             {"leftovers", account.leftovers ? json(*account.leftovers) : json(nullptr)}});
    }
    return accounts;
}

nlohmann::json runningClientsJson(const Report& report) {
    if (!report.runningClients) {
        return nullptr;
    }
    nlohmann::json clients = nlohmann::json::array();
    for (const ClientRecord& client : *report.runningClients) {
        clients.push_back({{"user", client.user}, {"uid", client.uid}, {"pid", client.pid}});
    }
    return clients;
}

std::string tracesElsewhere(const Report& report) {
    if (!report.otherAccountsWithTraces || report.user.empty()) {
        return "";
    }
    const std::vector<std::string>& others = *report.otherAccountsWithTraces;
    std::string text = " for " + report.user;
    if (others.empty()) {
        return text;
    }
    text += "; " + others.front();
    if (others.size() == 2) {
        text += " and 1 other account still have traces";
    } else if (others.size() > 2) {
        text += " and " + std::to_string(others.size() - 1) + " other accounts still have traces";
    } else {
        text += " still has traces";
    }
    return text + ": uninstall --all-users";
}

}  // namespace nimbla::cli
