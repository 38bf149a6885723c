/* The floor of CPU per request on this harness: one thread, blocking calls,
 * an answer built once at start. For each connection it reads up to the end
 * of the request's headers, writes the answer and closes.
 *
 * Usage: c_floor_server PORT CONTENT_TYPE BODY_FILE
 * Listens on 127.0.0.1:PORT only. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static char *build_answer(const char *content_type, const char *body_file, size_t *length) {
    FILE *file = fopen(body_file, "rb");
    if (!file)
        return NULL;
    fseek(file, 0, SEEK_END);
    long body_length = ftell(file);
    rewind(file);
    char header[512];
    int header_length = snprintf(header, sizeof header,
                                 "HTTP/1.1 200 OK\r\nContent-Type: %s\r\n"
                                 "Content-Length: %ld\r\nConnection: close\r\n\r\n",
                                 content_type, body_length);
    char *answer = malloc((size_t)header_length + (size_t)body_length);
    if (!answer || header_length <= 0 || (size_t)header_length >= sizeof header) {
        fclose(file);
        free(answer);
        return NULL;
    }
    memcpy(answer, header, (size_t)header_length);
    size_t read_bytes = fread(answer + header_length, 1, (size_t)body_length, file);
    fclose(file);
    *length = (size_t)header_length + read_bytes;
    return answer;
}

/* Reads until the blank line that ends the headers; 0 when it came. */
static int read_request(int fd) {
    char buffer[16384];
    size_t held = 0;
    for (;;) {
        ssize_t got = read(fd, buffer + held, sizeof buffer - held - 1);
        if (got <= 0)
            return -1;
        held += (size_t)got;
        buffer[held] = '\0';
        if (strstr(buffer, "\r\n\r\n"))
            return 0;
        if (held >= sizeof buffer - 1)
            return -1;
    }
}

static void write_all(int fd, const char *data, size_t length) {
    while (length > 0) {
        ssize_t sent = write(fd, data, length);
        if (sent <= 0)
            return;
        data += sent;
        length -= (size_t)sent;
    }
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s PORT CONTENT_TYPE BODY_FILE\n", argv[0]);
        return 2;
    }
    size_t answer_length = 0;
    char *answer = build_answer(argv[2], argv[3], &answer_length);
    if (!answer) {
        perror(argv[3]);
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address = {0};
    address.sin_family = AF_INET;
    address.sin_port = htons((unsigned short)atoi(argv[1]));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, (struct sockaddr *)&address, sizeof address) != 0 ||
        listen(listener, 511) != 0) {
        perror("listen");
        return 1;
    }
    for (;;) {
        int client = accept(listener, NULL, NULL);
        if (client < 0)
            continue;
        if (read_request(client) == 0)
            write_all(client, answer, answer_length);
        close(client);
    }
}
