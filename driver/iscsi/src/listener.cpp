#include "qpx/iscsi/listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "connection.h"
#include "target_context.h"

namespace qpx::iscsi {

namespace {
constexpr std::size_t kMaxConnections = 64;
}

class TargetService {
public:
    TargetService(TargetConfig config, CommandRunner& runner) : context_(std::move(config), runner) {}
    ~TargetService() { stop(); }

    void start();
    void stop();
    std::uint16_t port() const { return port_; }

private:
    struct Served {
        int socket;
        std::atomic<bool> done{false};
        std::thread thread;
    };
    void accept_loop();
    void reap(bool all);

    TargetContext context_;
    int listen_socket_ = -1;
    int wake_ = -1;
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    std::mutex served_mutex_;
    std::list<Served> served_;
    std::atomic<std::uint64_t> next_id_{1};
};

void TargetService::start() {
    if (acceptor_.joinable()) return;
    if (const std::string problem = config_problem(context_.config); !problem.empty())
        throw std::runtime_error("iSCSI target refused: " + problem);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(context_.config.port);
    ::inet_pton(AF_INET, context_.config.address.c_str(), &address.sin_addr);
    listen_socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_socket_ < 0) throw std::runtime_error(std::string("iSCSI socket: ") + std::strerror(errno));
    const int yes = 1;
    ::setsockopt(listen_socket_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(listen_socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_socket_, 16) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(listen_socket_);
        listen_socket_ = -1;
        throw std::runtime_error("iSCSI target cannot listen on " + context_.config.address + ":" +
                                 std::to_string(context_.config.port) + ": " + reason);
    }
    socklen_t length = sizeof address;
    ::getsockname(listen_socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    if (wake_ < 0) {
        ::close(listen_socket_);
        listen_socket_ = -1;
        throw std::runtime_error("iSCSI target: no eventfd");
    }
    acceptor_ = std::thread([this] { accept_loop(); });
}

void TargetService::accept_loop() {
    for (;;) {
        pollfd fds[2] = {{listen_socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int socket = ::accept4(listen_socket_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) continue;
        const int yes = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        reap(false);
        std::lock_guard lock(served_mutex_);
        if (served_.size() >= kMaxConnections) {
            ::close(socket);
            continue;
        }
        Served& s = served_.emplace_back();
        s.socket = socket;
        const std::uint64_t id = next_id_++;
        s.thread = std::thread([this, &s, id] {
            Connection(context_, s.socket, id).serve();
            ::shutdown(s.socket, SHUT_RDWR);
            s.done = true;
        });
    }
}

void TargetService::reap(bool all) {
    std::list<Served> ended;
    {
        std::lock_guard lock(served_mutex_);
        for (auto it = served_.begin(); it != served_.end();) {
            const auto next = std::next(it);
            if (all) ::shutdown(it->socket, SHUT_RDWR);
            if (all || it->done) ended.splice(ended.end(), served_, it);
            it = next;
        }
    }
    for (Served& s : ended) {
        s.thread.join();
        ::close(s.socket);
    }
}

void TargetService::stop() {
    if (acceptor_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
        acceptor_.join();
    }
    reap(true);
    if (listen_socket_ >= 0) ::close(listen_socket_);
    if (wake_ >= 0) ::close(wake_);
    listen_socket_ = wake_ = -1;
}

Listener::Listener(TargetConfig config, CommandRunner& runner)
    : service_(std::make_unique<TargetService>(std::move(config), runner)) {}
Listener::~Listener() = default;
void Listener::start() { service_->start(); }
void Listener::stop() { service_->stop(); }
std::uint16_t Listener::port() const { return service_->port(); }

}  // namespace qpx::iscsi
