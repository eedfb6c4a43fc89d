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
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

void Report(const char* name, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples)
        sum += s;
    std::printf("%-22s n=%-4zu median %8.3f ms  min %8.3f ms  max %8.3f ms  mean %8.3f ms\n", name,
                samples.size(), samples[samples.size() / 2], samples.front(), samples.back(),
                sum / double(samples.size()));
}

int Connect(int port, int count) {
    TComponent owner;
    TTcpClient client(&owner);
    client.SetHost("127.0.0.1");
    client.SetPort(port);
    std::vector<double> ok, failed;
    std::string failure;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        try {
            client.Connect(60000);
            client.Disconnect();
            ok.push_back(Ms(Clock::now() - start));
        } catch (const std::exception& e) {
            failed.push_back(Ms(Clock::now() - start));
            failure = e.what();
        }
    }
    if (!ok.empty())
        Report("connected", ok);
    if (!failed.empty()) {
        Report("failed", failed);
        for (char& c : failure)
            if (c == '\r' || c == '\n')
                c = ' ';
        std::printf("  (%s)\n", failure.c_str());
    }
    return 0;
}

int Wait(int limit) {
    // A listener with a full backlog never answers a further connect.
    const testnet::TSilentListener silent;
    TComponent owner;
    TTcpClient client(&owner);
    client.SetHost("127.0.0.1");
    client.SetPort(silent.Port());
    const double cpuBefore = CpuMs();
    const auto start = Clock::now();
    std::string outcome = "connected (unexpected)";
    try {
        client.Connect(limit);
    } catch (const std::exception& e) {
        outcome = e.what();
    }
    const double wall = Ms(Clock::now() - start);
    const double cpu = CpuMs() - cpuBefore;
    std::printf("timed-out wait: limit %d ms, ended after %.1f ms with \"%s\"\n", limit, wall,
                outcome.c_str());
    std::printf("CPU used: %.2f ms in all, %.3f ms per second of waiting (%.4f %% of one core)\n", cpu,
                cpu / (wall / 1000.0), cpu / wall * 100.0);
    return 0;
}

int Socks5(int proxyPort, const std::string& user, const std::string& password, int target, int count,
           int limit) {
    TComponent window;
    TTcpClient client(&window);
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        auto* handler = new TSocketIOHandler(&window);
        auto* info = new TSocksInfo(&window);
        handler->SetSocksInfo(info);
        client.SetIOHandler(handler);
        info->SetVersion(svSocks5);
        info->SetHost("127.0.0.1");
        info->SetPort(proxyPort);
        info->SetAuthentication(saUsernamePassword);
        info->SetUsername(user);
        info->SetPassword(password);
        client.SetHost("127.0.0.1");
        client.SetPort(target);
        const auto start = Clock::now();
        try {
            client.Connect(limit);
            client.Disconnect();
            samples.push_back(Ms(Clock::now() - start));
        } catch (const std::exception& e) {
            std::printf("failed: %s\n", e.what());
            return 1;
        }
        client.SetIOHandler(nullptr);
        handler->SetSocksInfo(nullptr);
        delete info;
        delete handler;
    }
    Report(limit > 0 ? "socks5 login (timed)" : "socks5 login (untimed)", samples);
    return 0;
}

int Sink(const char* portFile) {
    const testnet::TLoopbackListener listener(64);
    std::ofstream(portFile) << listener.Port() << '\n';
    for (;;)
        listener.Accept(-1); // closed again at once
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "connect" && argc == 4)
        return Connect(std::atoi(argv[2]), std::atoi(argv[3]));
    if (mode == "wait" && argc == 3)
        return Wait(std::atoi(argv[2]));
    if (mode == "socks5" && (argc == 7 || argc == 8))
        return Socks5(std::atoi(argv[2]), argv[3], argv[4], std::atoi(argv[5]), std::atoi(argv[6]),
                      argc == 8 ? std::atoi(argv[7]) : -1);
    if (mode == "sink" && argc == 3)
        return Sink(argv[2]);
    std::fprintf(stderr, "usage: see the top of NetBench.cpp\n");
    return 2;
}
