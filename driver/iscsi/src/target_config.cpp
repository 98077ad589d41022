#include "qpx/iscsi/target_config.h"

#include <arpa/inet.h>

#include <set>

namespace qpx::iscsi {

std::string target_name(const std::string& prefix, const OfferedDrive& drive) {
    return prefix + ":drive-" + std::string(1, drive.letter);
}

std::string config_problem(const TargetConfig& config) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, config.address.c_str(), &parsed) != 1)
        return "listen address " + config.address + " is not a dotted IPv4 address";
    if (config.address != "127.0.0.1") {
        if (!config.chap || config.chap->user.empty() || config.chap->secret.size() < 12)
            return "listening on " + config.address + " needs CHAP credentials (a user and a secret of 12 bytes or more)";
    }
    if (config.chap && (config.chap->user.empty() || config.chap->secret.empty()))
        return "CHAP credentials need a user and a secret";
    std::set<char> letters;
    for (const OfferedDrive& d : config.drives) {
        if (d.letter < 'a' || d.letter > 'z') return "drive letter out of a..z";
        if (!letters.insert(d.letter).second) return "drive letter offered twice";
    }
    return {};
}

}  // namespace qpx::iscsi
