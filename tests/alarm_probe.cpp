// Plays the alarm once through the program's own alarm code and waits for it.
#include "recorder/alarm.h"

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    AlarmSound alarm(argv[1]);
    if (!alarm.IsOk()) {
        std::printf("alarm not loaded\n");
        return 1;
    }
    alarm.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    return 0;
}
