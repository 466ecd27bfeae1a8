// The floor of the window's idle cost on this machine: a thread that does
// nothing but wake every 100 ms, as the window's timer does.
#include <chrono>
#include <thread>

int main() {
    for (;;)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}
