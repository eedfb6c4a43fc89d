// Timings of the TCP client, driven by bench/net/run.sh. Everything runs
// against 127.0.0.1.
//
//   bench-net connect PORT COUNT          connect + disconnect, limit 60000 ms
//   bench-net wait LIMIT_MS               a connect that times out; CPU used
//   bench-net socks5 PROXY USER PASS TARGET COUNT [LIMIT_MS]
//                                         full SOCKS 5 exchange with login
//   bench-net sink PORTFILE               target that accepts and closes

#include "net/SocketIOHandler.h"
#include "net/SocksInfo.h"
#include "net/TcpClient.h"
#include "platform/net/TestSockets.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace tavora;

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

void report(const char* name, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples)
        sum += s;
    std::printf("%-22s n=%-4zu median %8.3f ms  min %8.3f ms  max %8.3f ms  mean %8.3f ms\n", name,
                samples.size(), samples[samples.size() / 2], samples.front(), samples.back(),
                sum / double(samples.size()));
}

int connect(int port, int count) {
    TcpClient client;
    client.setHost("127.0.0.1");
    client.setPort(port);
    std::vector<double> ok, failed;
    std::string failure;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        try {
            client.connect(60000);
            client.disconnect();
            ok.push_back(ms(Clock::now() - start));
        } catch (const std::exception& e) {
            failed.push_back(ms(Clock::now() - start));
            failure = e.what();
        }
    }
    if (!ok.empty())
        report("connected", ok);
    if (!failed.empty()) {
        report("failed", failed);
        for (char& c : failure)
            if (c == '\r' || c == '\n')
                c = ' ';
        std::printf("  (%s)\n", failure.c_str());
    }
    return 0;
}

int wait(int limit) {
    // A listener with a full backlog never answers a further connect.
    const testnet::SilentListener silent;
    TcpClient client;
    client.setHost("127.0.0.1");
    client.setPort(silent.port());
    const double cpuBefore = cpuMs();
    const auto start = Clock::now();
    std::string outcome = "connected (unexpected)";
    try {
        client.connect(limit);
    } catch (const std::exception& e) {
        outcome = e.what();
    }
    const double wall = ms(Clock::now() - start);
    const double cpu = cpuMs() - cpuBefore;
    std::printf("timed-out wait: limit %d ms, ended after %.1f ms with \"%s\"\n", limit, wall,
                outcome.c_str());
    std::printf("CPU used: %.2f ms in all, %.3f ms per second of waiting (%.4f %% of one core)\n", cpu,
                cpu / (wall / 1000.0), cpu / wall * 100.0);
    return 0;
}

int socks5(int proxyPort, const std::string& user, const std::string& password, int target, int count,
           int limit) {
    TcpClient client;
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        auto handler = std::make_unique<SocketIOHandler>();
        SocksInfo& info = handler->socksInfo();
        info.setVersion(Socks5);
        info.setHost("127.0.0.1");
        info.setPort(proxyPort);
        info.setAuthentication(UsernamePassword);
        info.setUsername(user);
        info.setPassword(password);
        client.setIOHandler(std::move(handler));
        client.setHost("127.0.0.1");
        client.setPort(target);
        const auto start = Clock::now();
        try {
            client.connect(limit);
            client.disconnect();
            samples.push_back(ms(Clock::now() - start));
        } catch (const std::exception& e) {
            std::printf("failed: %s\n", e.what());
            return 1;
        }
        client.setIOHandler(nullptr);
    }
    report(limit > 0 ? "socks5 login (timed)" : "socks5 login (untimed)", samples);
    return 0;
}

int sink(const char* portFile) {
    const testnet::LoopbackListener listener(64);
    std::ofstream(portFile) << listener.port() << '\n';
    for (;;)
        listener.accept(-1); // closed again at once
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "connect" && argc == 4)
        return connect(std::atoi(argv[2]), std::atoi(argv[3]));
    if (mode == "wait" && argc == 3)
        return wait(std::atoi(argv[2]));
    if (mode == "socks5" && (argc == 7 || argc == 8))
        return socks5(std::atoi(argv[2]), argv[3], argv[4], std::atoi(argv[5]), std::atoi(argv[6]),
                      argc == 8 ? std::atoi(argv[7]) : -1);
    if (mode == "sink" && argc == 3)
        return sink(argv[2]);
    std::fprintf(stderr, "usage: see the top of NetBench.cpp\n");
    return 2;
}
