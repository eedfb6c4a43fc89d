#pragma once

namespace tavora {

// Base of every network object. While at least one exists, the process
// holds the single platform socket layer (SocketStack): the first one
// created brings it up and the last one destroyed takes it down, both under
// one process-wide lock. Network objects are owned like any other C++
// object (members and std::unique_ptr); this base only counts them.
class NetComponent {
public:
    NetComponent();
    virtual ~NetComponent();

    NetComponent(const NetComponent&) = delete;
    NetComponent& operator=(const NetComponent&) = delete;

    // How many network objects are alive now.
    static int liveCount();
};

} // namespace tavora
