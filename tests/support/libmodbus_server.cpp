#include "tests/support/libmodbus_server.h"
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace plinth::test {

LibmodbusServer::LibmodbusServer(const char* address, int registerCount) {
  ctx_ = modbus_new_tcp(address, 0);
  mapping_ = modbus_mapping_new(0, 0, registerCount, 0);
  if (!ctx_ || !mapping_) return;
  listenFd_ = modbus_tcp_listen(ctx_, 1);
  if (listenFd_ < 0) return;
  sockaddr_in at{};
  socklen_t len = sizeof at;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&at), &len);
  port_ = ntohs(at.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LibmodbusServer::~LibmodbusServer() {
  stop_ = true;
  // shutdown wakes the blocked accept and receive; close alone would not.
  if (listenFd_ >= 0) ::shutdown(listenFd_, SHUT_RDWR);
  if (const int client = clientFd_.load(); client >= 0) ::shutdown(client, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
  if (ctx_) modbus_close(ctx_), modbus_free(ctx_);
  if (mapping_) modbus_mapping_free(mapping_);
}

void LibmodbusServer::Serve() {
  uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
  while (!stop_) {
    int listen = listenFd_;
    const int client = modbus_tcp_accept(ctx_, &listen);
    if (client < 0) break;
    clientFd_ = client;
    if (stop_) ::shutdown(client, SHUT_RDWR);  // stopped while accepting
    for (;;) {
      const int got = modbus_receive(ctx_, query);
      if (got < 0) break;
      if (got == 0) continue;  // a request for another unit
      std::lock_guard lock(mutex_);
      modbus_reply(ctx_, query, got, mapping_);
    }
    clientFd_ = -1;
    modbus_close(ctx_);
  }
}

}  // namespace plinth::test
