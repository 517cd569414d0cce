/* The least a BOOTP server can do, for comparison with plinthctl bootp in
 * bench/bootp_burst.sh: one socket, and per request one receive, a table
 * look-up and one send. Answers the MAC addresses 02:00:00:00:hh:ll below
 * COUNT (hhll) with 10.77.(1 + hhll / 250).(1 + hhll % 250), as the
 * script's --assign pairs do. Run inside the server's network namespace.
 * Usage: bench_bootp_minimal_server INTERFACE COUNT */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s INTERFACE COUNT\n", argv[0]);
    return 2;
  }
  const unsigned count = (unsigned)atoi(argv[2]);
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const int on = 1, size = 1 << 20; /* the receive buffer plinthctl asks for */
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
  if (setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, argv[1], (socklen_t)strlen(argv[1])) != 0) {
    perror("SO_BINDTODEVICE");
    return 1;
  }
  struct sockaddr_in local = {.sin_family = AF_INET, .sin_port = htons(67)};
  if (bind(fd, (struct sockaddr*)&local, sizeof local) != 0) {
    perror("bind port 67");
    return 1;
  }
  printf("serving\n");
  fflush(stdout);
  const struct sockaddr_in to = {.sin_family = AF_INET, .sin_port = htons(68), .sin_addr.s_addr = INADDR_BROADCAST};
  static const unsigned char prefix[4] = {2, 0, 0, 0};
  unsigned char m[301];
  for (;;) {
    if (recv(fd, m, sizeof m, 0) != 300 || m[0] != 1 || m[1] != 1 || m[2] != 6) continue;
    const unsigned i = (unsigned)m[32] << 8 | m[33];
    if (memcmp(m + 28, prefix, 4) != 0 || i >= count) continue;
    const unsigned char yiaddr[4] = {10, 77, (unsigned char)(1 + i / 250), (unsigned char)(1 + i % 250)};
    m[0] = 2;
    memcpy(m + 16, yiaddr, 4);
    memset(m + 20, 0, 4);
    sendto(fd, m, 300, 0, (const struct sockaddr*)&to, sizeof to);
  }
}
