#include "port_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "log.h"

namespace qpx::host {
namespace {

[[noreturn]] void fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

PortServer::~PortServer() { close(); }

void PortServer::listen(const std::filesystem::path& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        fail("socket path " + text);
    }
    std::memcpy(addr.sun_path, text.c_str(), text.size() + 1);
    listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener_.valid()) fail("creating the socket");
    // Only one host runs per root (the instance lock), so a socket file
    // here is a leftover of a host that did not end cleanly.
    ::unlink(text.c_str());
    const mode_t old_mask = ::umask(0077);
    const int bound = ::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    ::umask(old_mask);
    if (bound != 0) fail("binding " + text);
    path_ = path;
    if (::listen(listener_.get(), 64) != 0) fail("listening on " + text);
}

void PortServer::serve(int stop_fd) {
    pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {stop_fd, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            log_error(std::string("waiting for clients: ") + std::strerror(errno));
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        devices::UniqueFd socket(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!socket.valid()) continue;
        reap_finished();
        if (clients_.size() >= kMaxConnections) {
            log_warning("too many clients; connection refused");
            continue;
        }
        auto connection = std::make_shared<ClientConnection>(std::move(socket), next_id_++, ports_);
        auto finished = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([connection, finished] {
            connection->serve();
            finished->store(true);
        });
        clients_.push_back({std::move(connection), std::move(thread), std::move(finished)});
    }
}

void PortServer::reap_finished() {
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (it->finished->load()) {
            it->thread.join();
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
}

void PortServer::close() {
    if (listener_.valid()) {
        listener_.reset();
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    for (auto& c : clients_) c.connection->shut_down();
    for (auto& c : clients_)
        if (c.thread.joinable()) c.thread.join();
    clients_.clear();
}

}  // namespace qpx::host
