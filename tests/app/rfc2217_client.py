# pyserial's RFC 2217 client against Kestrana's bridge: settings read back
# from the pty's termios (the pty master is descriptor 3), modem lines,
# a purge and 1 MB of every byte value both ways (the test echoes the pty).
# Prints "skip: ..." and ends with 77 when pyserial is missing.
import sys
import termios
import threading
import time

try:
    import serial
except ImportError:
    print("skip: python3-serial is not installed", flush=True)
    sys.exit(77)

MASTER = 3
port = int(sys.argv[1])
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL " + what, flush=True)


def cflag():
    return termios.tcgetattr(MASTER)[2]


s = serial.serial_for_url("rfc2217://127.0.0.1:%d" % port, baudrate=115200, stopbits=2, timeout=5)
check(termios.tcgetattr(MASTER)[5] == termios.B115200, "115200 baud on the tty")
check(cflag() & termios.CSTOPB, "two stop bits on the tty")

# Seven bits and even parity: the tty has them, or the server answered with
# what it kept and pyserial says so (a Linux pty keeps 8 bits, no parity).
for name, wanted, plain, on_tty in (("bytesize", 7, 8, lambda f: f & termios.CSIZE == termios.CS7),
                                    ("parity", "E", "N", lambda f: f & termios.PARENB and not f & termios.PARODD)):
    try:
        setattr(s, name, wanted)
        check(on_tty(cflag()), name + " taken: also on the tty")
        print(name + " taken", flush=True)
    except ValueError:
        check(not on_tty(cflag()), name + " refused: not on the tty either")
        print(name + " refused by the tty", flush=True)
        setattr(s, name, plain)

started = time.monotonic()
for value in (False, True):
    s.dtr = value
    s.rts = value
check(time.monotonic() - started < 3, "DTR and RTS answered in time")
s.reset_input_buffer()

data = bytes(range(256)) * 4096
writer = threading.Thread(target=s.write, args=(data,))
writer.start()
got = bytearray()
deadline = time.monotonic() + 90
while len(got) < len(data) and time.monotonic() < deadline:
    got += s.read(min(65536, len(data) - len(got)))
writer.join(10)
check(bytes(got) == data, "1 MB back byte for byte (%d bytes came)" % len(got))
s.close()
print("done" if not failures else "failed", flush=True)
sys.exit(0 if not failures else 1)
