import com.velq.tools.comm.SerialKVL;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import java.util.Set;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * Drives the ten natives through a real JVM. The harness that starts it has
 * put simulated devices behind the port names used here:
 *   KVL1, KVL2, LOG, ZT2: answering devices of each profile;
 *   SPARE, COM1, COM3: silent terminals; COM2: /dev/null (not a terminal).
 * Mode "empty" runs with an empty port map, mode "many" with COM1 to COM20
 * all present. Mode "stress" has answering devices behind COM1 (KVLv2),
 * COM2 and COM4 (LOG2A0) and COM3 (ZT2); mode "unplug" has one LOG2A0
 * device behind LOG that sends three frames on its own once its port is
 * open, then vanishes.
 */
public class SerialKVLTest {
    static final int TIMEOUT = 100301;
    static final int NO_SLOT = 100302;
    static final int ENOENT = 2, EBADF = 9, EINVAL = 22, ENAMETOOLONG = 36;
    static final int EIO = 5, EACCES = 13;
    static int failures = 0;

    static synchronized void check(boolean ok, String what) {
        if (!ok) {
            failures++;
            System.out.println("FAIL: " + what);
        }
    }

    static void checkEq(Object expected, Object actual, String what) {
        check(expected.equals(actual), what + ": expected <" + expected + "> got <" + actual + ">");
    }

    static byte[] bytes(int... values) {
        byte[] out = new byte[values.length];
        for (int i = 0; i < values.length; i++) out[i] = (byte) values[i];
        return out;
    }

    static int open(String profile, String name, int[] port) {
        switch (profile) {
            case "KVLv1": return SerialKVL.InitRS_KVLv1(9600, name, port);
            case "KVLv2": return SerialKVL.InitRS_KVLv2(name, port);
            case "LOG2A0": return SerialKVL.InitRS_LOG2A0(name, port);
            default: return SerialKVL.InitRS_ZT2(name, port);
        }
    }

    static void roundTrip(int port, byte[] request, byte[] expected, String what) {
        checkEq(0, SerialKVL.EnvRS(port, request, request.length), what + " EnvRS");
        byte[] frame = new byte[260];
        int[] length = {0};
        checkEq(0, SerialKVL.RecRS(port, frame, length), what + " RecRS");
        checkEq(expected.length, length[0], what + " length");
        check(Arrays.equals(expected, Arrays.copyOf(frame, length[0])), what + " frame " + Arrays.toString(frame));
    }

    static void full() {
        for (int p = 0; p < 4; p++) checkEq("", SerialKVL.DonneNomPortRS(p), "name before any open " + p);

        String[] ports = SerialKVL.EnumPortRS();
        checkEq(Arrays.asList("COM1 <>", "COM3 <>"), Arrays.asList(ports), "EnumPortRS");

        checkEq(" Communication timeout ", SerialKVL.ExpliciteLastError(100301), "text 100301");
        checkEq(" Fail to open com port ", SerialKVL.ExpliciteLastError(100302), "text 100302");
        checkEq(" Erreur inconnue ", SerialKVL.ExpliciteLastError(100000), "text 100000");
        checkEq("No such file or directory", SerialKVL.ExpliciteLastError(2), "text 2");
        checkEq("Input/output error", SerialKVL.ExpliciteLastError(5), "text 5");
        checkEq("Unknown error -1", SerialKVL.ExpliciteLastError(-1), "text -1");

        // One port per profile, each exchanging a frame with its device.
        String[][] opens = {{"KVLv1", "KVL1"}, {"KVLv2", "KVL2"}, {"LOG2A0", "LOG"}, {"ZT2", "ZT2"}};
        for (int i = 0; i < 4; i++) {
            int[] port = {-1};
            checkEq(0, open(opens[i][0], opens[i][1], port), "open " + opens[i][1]);
            checkEq(i, port[0], "slot of " + opens[i][1]);
            checkEq(opens[i][1], SerialKVL.DonneNomPortRS(i), "name of slot " + i);
        }
        roundTrip(0, bytes(0x78, 0x12, 0x34, 0x01), bytes(0x12, 0x34, 0x10, 0x11), "KVLv1");
        roundTrip(1, bytes(0x80, 0x10, 0xF0, 0x01, 0xBF, 0x20),
                  bytes(0x80, 0xF0, 0x10, 0x03, 0xFF, 0x12, 0x34, 0xC8), "KVLv2");
        roundTrip(2, bytes(0x01), bytes(0x5A, 0xA5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10), "LOG2A0");
        roundTrip(3, bytes(0x01), bytes(0x00, 0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10), "ZT2");
        checkEq(0, SerialKVL.EnvRS(2, new byte[0], 0), "EnvRS of length 0");

        // A frame longer than the host's array: what fits is copied, and the
        // length element says how much.
        checkEq(0, SerialKVL.EnvRS(0, bytes(0x78, 0x12, 0x34, 0x05), 4), "KVLv1 long request");
        byte[] small = new byte[4];
        int[] smallLength = {0};
        checkEq(0, SerialKVL.RecRS(0, small, smallLength), "RecRS into a short array");
        checkEq(4, smallLength[0], "length of a cut frame");
        check(Arrays.equals(bytes(0x12, 0x34, 0x10, 0x11), small), "cut frame " + Arrays.toString(small));

        int[] fifth = {-1};
        checkEq(NO_SLOT, SerialKVL.InitRS_ZT2("SPARE", fifth), "fifth open");
        checkEq(4, fifth[0], "fifth open slot");

        checkEq(1, SerialKVL.FermRS(3), "FermRS");
        checkEq(0, SerialKVL.FermRS(3), "FermRS twice");
        checkEq("ZT2", SerialKVL.DonneNomPortRS(3), "name after close");

        // A receive that times out leaves the length element alone and copies
        // that many of the host's own bytes back.
        int[] port = {-1};
        checkEq(0, SerialKVL.InitRS_LOG2A0("COM1", port), "open silent port");
        checkEq(3, port[0], "reused slot");
        checkEq("COM1", SerialKVL.DonneNomPortRS(3), "name after reopen");
        byte[] frame = bytes(9, 8, 7, 6);
        int[] length = {2};
        long start = System.nanoTime();
        checkEq(TIMEOUT, SerialKVL.RecRS(3, frame, length), "RecRS time-out");
        check((System.nanoTime() - start) / 1_000_000 >= 3900, "four waits of 1 s");
        checkEq(2, length[0], "length after time-out");
        check(Arrays.equals(bytes(9, 8, 7, 6), frame), "frame after time-out");

        // Misuse: statuses, never a crash.
        int[] out = {-1};
        checkEq(-1, SerialKVL.EnvRS(2, null, 3), "EnvRS null frame");
        checkEq(EINVAL, SerialKVL.EnvRS(2, new byte[2], 10), "EnvRS length beyond array");
        checkEq(EINVAL, SerialKVL.EnvRS(2, new byte[2], -1), "EnvRS negative length");
        checkEq(0, SerialKVL.EnvRS(2, new byte[300], 300), "EnvRS over 255 bytes");
        checkEq(EBADF, SerialKVL.EnvRS(7, new byte[2], 2), "EnvRS port 7");
        checkEq(-1, SerialKVL.RecRS(2, null, new int[1]), "RecRS null frame");
        checkEq(-1, SerialKVL.RecRS(2, new byte[4], null), "RecRS null length");
        checkEq(-1, SerialKVL.RecRS(2, new byte[4], new int[0]), "RecRS empty length array");
        byte[] guarded = bytes(1, 2, 3, 4);
        int[] huge = {1000000};
        checkEq(EBADF, SerialKVL.RecRS(7, guarded, huge), "RecRS port 7 huge length");
        checkEq(1000000, huge[0], "huge length kept");
        int[] negative = {-5};
        checkEq(EBADF, SerialKVL.RecRS(-1, guarded, negative), "RecRS negative length");
        check(Arrays.equals(bytes(1, 2, 3, 4), guarded), "guarded frame untouched");
        checkEq(-1, SerialKVL.InitRS_ZT2(null, out), "open null name");
        checkEq(-1, SerialKVL.InitRS_ZT2("ZT2", null), "open null out-array");
        checkEq(-1, SerialKVL.InitRS_KVLv2("ZT2", new int[0]), "open empty out-array");
        checkEq(0, SerialKVL.FermRS(7), "FermRS port 7");
        checkEq(0, SerialKVL.FermRS(-1), "FermRS port -1");
        checkEq("", SerialKVL.DonneNomPortRS(7), "name of port 7");
        checkEq(NO_SLOT, SerialKVL.InitRS_ZT2("NOPE", out), "open with no slot");

        for (int p = 0; p < 4; p++) checkEq(1, SerialKVL.FermRS(p), "close " + p);
        checkEq(ENOENT, SerialKVL.InitRS_ZT2("NOPE", out), "open missing port");
        checkEq(0, out[0], "missing port slot");
        checkEq(0, SerialKVL.FermRS(0), "slot of missing port stays free");
        checkEq(ENAMETOOLONG, SerialKVL.InitRS_KVLv1(9600, "COM123456789", out), "open long name (never truncated)");

        // Any rate the driver takes opens, classic or not.
        checkEq(0, SerialKVL.InitRS_KVLv1(10400, "KVL1", out), "open at 10400 baud");
        checkEq(1, SerialKVL.FermRS(out[0]), "close after 10400 baud");
        // A rate that is refused (0 is no rate) fails when the settings are
        // written and leaves the slot occupied until FermRS, which reports 0:
        // the open never got as far as its events.
        checkEq(EINVAL, SerialKVL.InitRS_KVLv1(0, "KVL1", out), "rejected baud rate");
        checkEq(0, SerialKVL.FermRS(out[0]), "free slot after rejected rate");
        checkEq(0, SerialKVL.FermRS(out[0]), "slot free after that");
        checkEq("KVL1", SerialKVL.DonneNomPortRS(out[0]), "failed open keeps the earlier name");
    }

    static void empty() {
        String[] ports = SerialKVL.EnumPortRS();
        check(ports != null, "EnumPortRS never null");
        checkEq(0, ports == null ? -1 : ports.length, "no ports");
    }

    /** Every probed port present: all nineteen listed in order, COM20 never. */
    static void many() {
        String[] ports = SerialKVL.EnumPortRS();
        checkEq(19, ports.length, "ports listed");
        for (int i = 0; i < ports.length; i++) checkEq("COM" + (i + 1) + " <>", ports[i], "entry " + i);
    }

    static void checkOneOf(int status, Set<Integer> allowed, String what) {
        if (!allowed.contains(status)) check(false, what + " returned " + status);
    }

    /**
     * Six threads call every native at random on four ports for 30 s, as
     * hosts that do not keep to one caller per port do (a shutdown hook that
     * closes while the main thread closes, a poller beside a sender). Every
     * call must come back with a documented status, the JVM must neither
     * die nor hang, and afterwards every port opens and closes again.
     */
    static void stress() throws InterruptedException {
        final long seconds = Long.getLong("stress.seconds", 30);
        final long deadline = System.nanoTime() + seconds * 1_000_000_000L;
        final String[] names = {"COM1", "COM2", "COM3", "COM4", "NOPE"};
        final Set<Integer> opens = Set.of(0, NO_SLOT, EACCES, ENOENT);
        final Set<Integer> exchanges = Set.of(0, TIMEOUT, EBADF);
        final Set<String> portNames = Set.of("", "COM1", "COM2", "COM3", "COM4", "NOPE");
        final List<String> listing = Arrays.asList("COM1 <>", "COM2 <>", "COM3 <>", "COM4 <>");
        final AtomicInteger calls = new AtomicInteger();
        List<Thread> hosts = new ArrayList<>();
        for (int h = 0; h < 6; h++) {
            final Random random = new Random(1000 + h);
            Thread host = new Thread(() -> {
                while (System.nanoTime() < deadline) {
                    int port = random.nextInt(5) == 0 ? random.nextInt(7) - 1 : random.nextInt(4);
                    int device = random.nextInt(names.length);
                    int[] out = {-1};
                    byte[] frame = new byte[64];
                    int[] length = {0};
                    switch (random.nextInt(9)) {
                        case 0: checkOneOf(SerialKVL.InitRS_KVLv2(names[device], out), opens, "InitRS_KVLv2"); break;
                        case 1: checkOneOf(SerialKVL.InitRS_LOG2A0(names[device], out), opens, "InitRS_LOG2A0"); break;
                        case 2: checkOneOf(SerialKVL.InitRS_ZT2(names[device], out), opens, "InitRS_ZT2"); break;
                        case 3: checkOneOf(SerialKVL.FermRS(port), Set.of(0, 1), "FermRS"); break;
                        case 4:
                            checkOneOf(SerialKVL.EnvRS(port, bytes(0x80, 0x10, 0xF0, 0x01, 0xBF, 0x20), 6),
                                       exchanges, "EnvRS");
                            break;
                        case 5: checkOneOf(SerialKVL.RecRS(port, frame, length), exchanges, "RecRS"); break;
                        case 6: checkEq(listing, Arrays.asList(SerialKVL.EnumPortRS()), "EnumPortRS"); break;
                        case 7: {
                            String text = SerialKVL.ExpliciteLastError(random.nextBoolean() ? TIMEOUT : EIO);
                            check(text.equals(" Communication timeout ") || text.equals("Input/output error"),
                                  "ExpliciteLastError " + text);
                            break;
                        }
                        default: {
                            String name = SerialKVL.DonneNomPortRS(port);
                            check(portNames.contains(name), "DonneNomPortRS " + name);
                        }
                    }
                    calls.incrementAndGet();
                }
            }, "host-" + h);
            hosts.add(host);
            host.start();
        }
        // The longest call is a receive of four 2 s waits with three re-sends
        // of up to 2 s each: far less than the grace given here.
        long graceMs = 60_000;
        for (Thread host : hosts) {
            host.join(Math.max(1, (deadline - System.nanoTime()) / 1_000_000 + graceMs));
            if (host.isAlive()) {
                System.out.println("FAIL: " + host.getName() + " hangs in");
                for (StackTraceElement e : host.getStackTrace()) System.out.println("    at " + e);
                System.out.flush();
                Runtime.getRuntime().halt(1);
            }
        }
        System.out.println(calls.get() + " calls from six threads in " + seconds + " s");
        check(calls.get() > 60, "the threads made progress");

        for (int p = 0; p < 4; p++) SerialKVL.FermRS(p);
        for (int p = 0; p < 4; p++) {
            int[] port = {-1};
            checkEq(0, p == 0 ? SerialKVL.InitRS_KVLv2(names[p], port) : SerialKVL.InitRS_LOG2A0(names[p], port),
                    "reopen " + names[p]);
            checkEq(p, port[0], "slot of " + names[p]);
        }
        roundTrip(0, bytes(0x80, 0x10, 0xF0, 0x01, 0xBF, 0x20),
                  bytes(0x80, 0xF0, 0x10, 0x03, 0xFF, 0x12, 0x34, 0xC8), "KVLv2 after the race");
        for (int p = 0; p < 4; p++) checkEq(1, SerialKVL.FermRS(p), "close " + p + " after the race");
    }

    /**
     * A receive-only host (its device talks on its own) whose device
     * vanishes gets the system's error, not time-outs for ever.
     */
    static void unplug() {
        int[] port = {-1};
        checkEq(0, SerialKVL.InitRS_LOG2A0("LOG", port), "open LOG");
        byte[] frame = new byte[64];
        int[] length = {0};
        int frames = 0;
        int status;
        long lastNs = System.nanoTime();
        while (true) {
            length[0] = 0;
            status = SerialKVL.RecRS(port[0], frame, length);
            if (status != 0) break;
            frames++;
            lastNs = System.nanoTime();
        }
        long afterLastFrameMs = (System.nanoTime() - lastNs) / 1_000_000;
        System.out.println(frames + " frame(s), then status " + status + " after " + afterLastFrameMs + " ms");
        check(frames >= 1, "frames before the unplug");
        checkEq(EIO, status, "RecRS after the unplug");
        // The device sends every 200 ms, then vanishes at once.
        check(afterLastFrameMs < 2000, "the failure came within 2 s, not after time-outs");
        checkEq("Input/output error", SerialKVL.ExpliciteLastError(status), "its text");
        long start = System.nanoTime();
        checkEq(EIO, SerialKVL.RecRS(port[0], frame, length), "RecRS again");
        check((System.nanoTime() - start) / 1_000_000 < 500, "and at once");
        check(SerialKVL.EnvRS(port[0], bytes(1), 1) != 0, "EnvRS on the vanished device fails");
        checkEq(1, SerialKVL.FermRS(port[0]), "FermRS after the unplug");
    }

    public static void main(String[] args) throws InterruptedException {
        String mode = args.length > 0 ? args[0] : "full";
        if (mode.equals("empty")) empty();
        else if (mode.equals("many")) many();
        else if (mode.equals("stress")) stress();
        else if (mode.equals("unplug")) unplug();
        else full();
        System.out.println(failures == 0 ? "OK" : failures + " failure(s)");
        System.exit(failures == 0 ? 0 : 1);
    }
}
