#!/usr/bin/python3
"""What an engineer would otherwise script: a live matplotlib plot of the whole
force curve, redrawn on every reading received from the press module
(press-sim on 127.0.0.1). Prints the time and CPU per redraw.

usage: mpl_recorder.py PORT SAMPLES [READINGS]
The series is first filled to SAMPLES - READINGS synthetic samples, then
READINGS live readings are received, each appended and the figure redrawn.
"""
import socket
import sys
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main():
    port = int(sys.argv[1])
    samples = int(sys.argv[2])
    readings = int(sys.argv[3]) if len(sys.argv) > 3 else 40
    surface = 1250.0
    times = [i * 0.075 for i in range(samples - readings)]
    forces = [min(300.0, i * 0.5) * surface / 100 * 0.102 for i in range(samples - readings)]

    fig = plt.figure(figsize=(16, 9.6), dpi=100)  # 1600 x 960 pixels
    ax = fig.add_subplot(111)
    (line,) = ax.plot(times, forces, color="red", linewidth=2)
    ax.set_xlabel("Time (s)")
    ax.set_ylabel("Force (tons)")
    ax.grid(True, linestyle=":")
    fig.canvas.draw()

    sock = socket.create_connection(("127.0.0.1", port), timeout=5)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    wall, cpu = [], []
    buffer = b""
    t = times[-1] if times else 0.0
    while len(wall) < readings:
        sock.sendall(b"p000\r")
        data = sock.recv(128)
        if not data:
            break
        buffer += data
        if b"\n" not in buffer:
            continue
        text, buffer = buffer.split(b"\n", 1)
        tokens = text.replace(b"\r", b" ").split()
        if len(tokens) < 3:
            continue
        bar = int(tokens[1]) * (-1 if tokens[0] == b"-" else 1)
        w0, c0 = time.perf_counter(), time.process_time()
        t += 0.075
        times.append(t)
        forces.append(bar * surface / 100 * 0.102)
        line.set_data(times, forces)
        ax.relim()
        ax.autoscale_view()
        fig.canvas.draw()
        wall.append((time.perf_counter() - w0) * 1000)
        cpu.append((time.process_time() - c0) * 1000)
        time.sleep(0.075)
    wall.sort()
    cpu.sort()
    print("mpl_redraw_%d %.4f ms" % (samples, wall[len(wall) // 2]))
    print("mpl_cpu_%d %.4f ms" % (samples, cpu[len(cpu) // 2]))


if __name__ == "__main__":
    main()
