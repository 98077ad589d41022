#include "operational_parameters.h"

#include <algorithm>
#include <sstream>

namespace qpx::iscsi {
namespace {

bool list_contains(const std::string& list, const std::string& wanted) {
    std::stringstream items(list);
    std::string item;
    while (std::getline(items, item, ','))
        if (item == wanted) return true;
    return false;
}

std::optional<bool> parse_bool(const std::string& v) {
    if (v == "Yes") return true;
    if (v == "No") return false;
    return std::nullopt;
}

}  // namespace

bool is_login_identity_key(const std::string& key) {
    return key == "InitiatorName" || key == "TargetName" || key == "SessionType" || key == "AuthMethod" ||
           key == "InitiatorAlias" || key == "TargetAlias" || key.rfind("CHAP_", 0) == 0;
}

NegotiationAnswer negotiate_operational(const std::vector<TextPair>& offers, SessionParameters& parameters) {
    NegotiationAnswer out;
    auto answer = [&](const std::string& key, const std::string& value) { out.answers.emplace_back(key, value); };
    auto number_or_refuse = [&](const TextPair& offer, std::uint32_t low, std::uint32_t high) -> std::optional<std::uint32_t> {
        const auto n = parse_number(offer.second);
        if (!n || *n < low || *n > high) {
            answer(offer.first, "Reject");
            out.refusal = "bad value for " + offer.first;
            return std::nullopt;
        }
        return n;
    };

    for (const TextPair& offer : offers) {
        const std::string& key = offer.first;
        if (is_login_identity_key(key)) continue;
        if (key == "HeaderDigest" || key == "DataDigest") {
            if (list_contains(offer.second, "None")) {
                answer(key, "None");
            } else {
                answer(key, "Reject");
                out.refusal = key + " without None";
            }
        } else if (key == "MaxRecvDataSegmentLength") {
            if (const auto n = number_or_refuse(offer, 512, 16777215)) parameters.initiator_max_recv_data_segment = *n;
        } else if (key == "MaxBurstLength") {
            if (const auto n = number_or_refuse(offer, 512, 16777215)) {
                parameters.max_burst = std::min(*n, kTargetMaxBurst);
                answer(key, std::to_string(parameters.max_burst));
            }
        } else if (key == "FirstBurstLength") {
            if (const auto n = number_or_refuse(offer, 512, 16777215)) {
                parameters.first_burst = std::min(*n, kTargetFirstBurst);
                answer(key, std::to_string(parameters.first_burst));
            }
        } else if (key == "MaxConnections" || key == "MaxOutstandingR2T") {
            if (number_or_refuse(offer, 1, 65535)) answer(key, "1");
        } else if (key == "ErrorRecoveryLevel") {
            if (number_or_refuse(offer, 0, 2)) answer(key, "0");
        } else if (key == "DefaultTime2Wait") {
            if (const auto n = number_or_refuse(offer, 0, 3600)) answer(key, std::to_string(*n));
        } else if (key == "DefaultTime2Retain") {
            if (number_or_refuse(offer, 0, 3600)) answer(key, "0");
        } else if (key == "InitialR2T" || key == "DataPDUInOrder" || key == "DataSequenceInOrder") {
            // Results of OR: the target's Yes wins.
            if (parse_bool(offer.second)) answer(key, "Yes");
            else answer(key, "Reject");
        } else if (key == "ImmediateData" || key == "IFMarker" || key == "OFMarker") {
            // Results of AND: the target's No wins.
            if (parse_bool(offer.second)) answer(key, "No");
            else answer(key, "Reject");
        } else {
            answer(key, "NotUnderstood");
        }
    }
    return out;
}

}  // namespace qpx::iscsi
