import com.velq.dashboard.HostChannel;
import com.velq.dashboard.HostException;
import com.velq.dashboard.NotifyResult;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.OptionalInt;
import java.util.OptionalLong;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;

/**
 * The Java binding through a real JVM (run with -Xcheck:jni).
 *
 *   java HostChannelTest BUILD_DIR "EXPECTED LAYOUT OF THE DEMO SKIN" SKINVELQ
 *
 * VELQ_CHANNEL_SUFFIX gives the run a channel of its own; the block is read
 * back from /dev/shm. The real dashboard (SKINVELQ, on BUILD_DIR's demo
 * skin) runs without a display (SDL_VIDEODRIVER=dummy, set by
 * java_host_test.sh).
 * The same class is also the child JVM of the exit and crash cases
 * (--exit-without-close, --hold), so those run the binding exactly as a host
 * would.
 */
public class HostChannelTest {
    static int failures = 0;
    static Path work;
    static Path sleeper;

    static void check(boolean ok, String what) {
        if (!ok) {
            failures++;
            System.out.println("FAIL: " + what);
        }
    }

    static void checkEq(Object expected, Object actual, String what) {
        check(expected.equals(actual), what + ": expected <" + expected + "> got <" + actual + ">");
    }

    interface Call {
        void run() throws Exception;
    }

    /**
     * The call must throw exactly `type`; for HostException also with
     * `status`. Every refusal must carry a message (the library's text).
     */
    static void expectThrows(Class<? extends Throwable> type, int status, Call call, String what) {
        try {
            call.run();
            check(false, what + ": no exception, expected " + type.getSimpleName());
        } catch (Throwable e) {
            if (e.getClass() != type) {
                check(false, what + ": expected " + type.getSimpleName() + ", got " + e);
                return;
            }
            check(e.getMessage() != null && !e.getMessage().isEmpty(), what + ": a message");
            if (e instanceof HostException)
                checkEq(status, ((HostException) e).getStatus(), what + " status (" + e.getMessage() + ")");
        }
    }

    static Path block() {
        String suffix = System.getenv("VELQ_CHANNEL_SUFFIX");
        return Paths.get("/dev/shm/Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}" + (suffix == null ? "" : suffix));
    }

    static float[] slots() throws IOException {
        if (!Files.exists(block())) return new float[0];
        ByteBuffer bytes = ByteBuffer.wrap(Files.readAllBytes(block())).order(ByteOrder.nativeOrder());
        float[] values = new float[bytes.remaining() / 4];
        for (int i = 0; i < values.length; i++) values[i] = bytes.getFloat();
        return values;
    }

    static boolean alive(long pid) {
        return ProcessHandle.of(pid).map(ProcessHandle::isAlive).orElse(false);
    }

    /** Polls `condition` for up to `seconds`: a bound on waiting, not a measure of speed. */
    static boolean eventually(double seconds, java.util.function.BooleanSupplier condition) throws InterruptedException {
        long end = System.nanoTime() + (long) (seconds * 1e9);
        while (!condition.getAsBoolean()) {
            if (System.nanoTime() - end > 0) return false;
            Thread.sleep(50);
        }
        return true;
    }

    static void signal(String signal, long pid) throws IOException, InterruptedException {
        checkEq(0, new ProcessBuilder("kill", "-" + signal, Long.toString(pid)).inheritIO().start().waitFor(),
                "kill -" + signal);
    }

    /**
     * A child JVM running this class in one of its child modes, with the
     * parent's options. Its output goes to a file, not a pipe: a dashboard
     * it leaves behind would hold a pipe open, and reading to its end would
     * hang instead of failing.
     */
    static Process child(Path output, String... args) throws IOException {
        List<String> command = new ArrayList<>(Arrays.asList(
                Paths.get(System.getProperty("java.home"), "bin", "java").toString(), "-Xcheck:jni",
                "-Djava.library.path=" + System.getProperty("java.library.path"),
                "-cp", System.getProperty("java.class.path"), "HostChannelTest"));
        command.addAll(Arrays.asList(args));
        return new ProcessBuilder(command).redirectErrorStream(true).redirectOutput(output.toFile()).start();
    }

    /** The child's line starting with `prefix`, waiting up to `seconds` for it; null if none came. */
    static String awaitLine(Path output, String prefix, double seconds) throws Exception {
        String[] found = {null};
        eventually(seconds, () -> {
            try {
                for (String line : Files.readAllLines(output, StandardCharsets.UTF_8))
                    if (line.startsWith(prefix)) found[0] = line;
            } catch (IOException e) {
                throw new IllegalStateException(e);
            }
            return found[0] != null;
        });
        return found[0];
    }

    /** Echoes the child's output, so that the script also sees a child's JNI warnings. */
    static void echo(Path output) throws IOException {
        for (String line : Files.readAllLines(output, StandardCharsets.UTF_8)) System.out.println("child: " + line);
    }

    public static void main(String[] args) throws Exception {
        if (args[0].equals("--exit-without-close")) {
            exitWithoutClose(args[1], args[2]);
            return;
        }
        if (args[0].equals("--hold")) {
            hold(args[1]);
            return;
        }
        String build = args[0];
        String[] expected = args[1].trim().split("\\s+");
        String dashboard = args[2];

        work = Files.createTempDirectory("hostjava");
        Path skin = work.resolve("Skin/t");
        Files.createDirectories(skin);
        Files.write(skin.resolve("skin.cfg"), String.join("\n",
                "object T: TSkinForm",
                "  object A: TSkinLed", "    DigitalSensor = in7", "  end",
                "  object B: TSkinLevelBar", "    AnalogSensor = ia9", "  end",
                "  object C: TSkinLevelBar", "    AnalogSensor = ia2", "  end",
                "end", "").getBytes(StandardCharsets.UTF_8));
        Files.createDirectories(work.resolve("Skin/broken"));
        Files.write(work.resolve("Skin/broken/skin.bin"), "not a skin at all".getBytes(StandardCharsets.UTF_8));
        // A stand-in dashboard that runs until it is asked to end (its one
        // argument, the skin name, is ignored).
        sleeper = work.resolve("sleeper.sh");
        Files.write(sleeper, "#!/bin/sh\nexec sleep 300\n".getBytes(StandardCharsets.UTF_8));
        Files.setPosixFilePermissions(sleeper, PosixFilePermissions.fromString("rwxr-xr-x"));

        try {
            layouts(build, expected);
            writesAndRefusals();
            exclusiveCreate();
            useAfterClose();
            launching();
            detached();
            stoppedDashboard(build, dashboard);
            cleaner();
            exitWithoutCloseLeavesNothing();
            check(!Files.exists(block()), "no block is left at the end");
        } finally {
            try (java.util.stream.Stream<Path> files = Files.walk(work)) {
                files.sorted(java.util.Comparator.reverseOrder()).forEach(path -> path.toFile().delete());
            }
        }

        if (failures > 0) {
            System.out.println(failures + " failure(s)");
            System.exit(1);
        }
        System.out.println("HostChannelTest: all checks passed");
    }

    static void layouts(String build, String[] expected) throws Exception {
        // The layout is the one skinhost prints, from either form of the skin.
        checkEq(Arrays.asList(expected), Arrays.asList(HostChannel.layout(build, "demo")), "demo layout");
        checkEq(Arrays.asList(expected),
                Arrays.asList(HostChannel.layoutOfFile(build + "/Skin/demo/skin.cfg")), "demo layout, text form");
        check(HostChannel.libraryVersion().matches("1\\.[2-9][0-9]*"), "library version " + HostChannel.libraryVersion());

        // Every status has its own sentence; anything else is "Unknown status".
        int[] statuses = {HostException.ARGUMENT, HostException.UNKNOWN_SENSOR, HostException.SKIN,
            HostException.SYSTEM, HostException.REMOVED, HostException.NOT_DELIVERED, HostException.NO_MEMORY,
            HostException.RUNNING, HostException.OWNED, HostException.BUSY, HostException.DETACHED,
            HostException.NOT_A_SENSOR, HostException.NOT_FOUND};
        List<String> sentences = new ArrayList<>();
        for (int status : statuses) {
            String text = HostException.statusString(status);
            check(!text.isEmpty() && !text.equals("Unknown status") && !sentences.contains(text),
                    "a sentence of its own for status " + status + ": " + text);
            sentences.add(text);
        }
        checkEq("Unknown status", HostException.statusString(-14), "status past the last");
        checkEq("Unknown status", HostException.statusString(1), "positive status");
    }

    static void writesAndRefusals() throws Exception {
        try (HostChannel channel = new HostChannel(work.toString(), "t")) {
            checkEq(Arrays.asList("ia2", "ia9", "in7"), Arrays.asList(channel.sensors()), "slot order");
            checkEq(3, channel.position("in7"), "position of in7");
            check(Arrays.equals(new float[] {0, 0, 0, 0}, slots()), "a new block is zero");
            channel.set("in7", 1f);
            channel.set("ia2", 2.5f);
            channel.set(2, -9f);
            check(Arrays.equals(new float[] {0, 2.5f, -9f, 1f}, slots()), "writes by name and position " + Arrays.toString(slots()));
            channel.setFrame(new float[] {10, 20, 30});
            check(Arrays.equals(new float[] {0, 10, 20, 30}, slots()), "a whole frame");
            checkEq(NotifyResult.NO_DASHBOARD, channel.notifyDashboard(), "notify with no dashboard");

            // The caller's mistakes: IllegalArgumentException, nothing written.
            Object[][] mistakes = {
                {"unused sensor", (Call) () -> channel.set("ia4", 1f)},
                {"impossible sensor ia48", (Call) () -> channel.set("ia48", 1f)},
                {"impossible sensor in0", (Call) () -> channel.set("in0", 1f)},
                {"not a sensor name", (Call) () -> channel.set("x", 1f)},
                {"null sensor", (Call) () -> channel.set(null, 1f)},
                {"position of an unused sensor", (Call) () -> channel.position("ia4")},
                {"position of an impossible sensor", (Call) () -> channel.position("ia48")},
                {"position of null", (Call) () -> channel.position(null)},
                {"slot 0", (Call) () -> channel.set(0, 1f)},
                {"slot past N", (Call) () -> channel.set(4, 1f)},
                {"short frame", (Call) () -> channel.setFrame(new float[2])},
                {"long frame", (Call) () -> channel.setFrame(new float[4])},
                {"null frame", (Call) () -> channel.setFrame(null)},
                {"negative notify time-out", (Call) () -> channel.setNotifyTimeout(-1)},
                {"notify time-out past the limit", (Call) () -> channel.setNotifyTimeout(HostChannel.MAX_NOTIFY_TIMEOUT_MILLIS + 1)},
                {"null skin", (Call) () -> new HostChannel(work.toString(), null)},
                {"empty skin name", (Call) () -> new HostChannel(work.toString(), "")},
                {"skin name with a path", (Call) () -> new HostChannel(work.toString(), "../t")},
                {"skin name ..", (Call) () -> HostChannel.layout(work.toString(), "..")},
                {"null skin file", (Call) () -> HostChannel.layoutOfFile(null)},
                {"notify time-out of a new channel", (Call) () -> new HostChannel(work.toString(), "t", -5)},
            };
            for (Object[] mistake : mistakes)
                expectThrows(IllegalArgumentException.class, 0, (Call) mistake[1], (String) mistake[0]);
            check(Arrays.equals(new float[] {0, 10, 20, 30}, slots()), "refused writes change nothing " + Arrays.toString(slots()));
            channel.setNotifyTimeout(HostChannel.MAX_NOTIFY_TIMEOUT_MILLIS);
            channel.setNotifyTimeout(0);
        }
        check(!Files.exists(block()), "close removes the block");

        // Failures of the environment: the checked HostException with the library's status.
        Object[][] failures = {
            {"missing skin", HostException.NOT_FOUND, (Call) () -> new HostChannel(work.toString(), "absent")},
            {"missing work folder", HostException.NOT_FOUND, (Call) () -> new HostChannel(work + "/absent", "t")},
            {"missing skin file", HostException.NOT_FOUND, (Call) () -> HostChannel.layoutOfFile(work + "/absent.bin")},
            {"unreadable skin", HostException.SKIN, (Call) () -> new HostChannel(work.toString(), "broken")},
            {"unreadable skin file", HostException.SKIN, (Call) () -> HostChannel.layoutOfFile(work + "/Skin/broken/skin.bin")},
        };
        for (Object[] failure : failures)
            expectThrows(HostException.class, (Integer) failure[1], (Call) failure[2], (String) failure[0]);
        check(!Files.exists(block()), "failed creations leave no block");
    }

    static void exclusiveCreate() throws Exception {
        HostChannel first = new HostChannel(work.toString(), "t");
        first.set("ia9", 5f);
        expectThrows(HostException.class, HostException.OWNED, () -> new HostChannel(work.toString(), "t"),
                "a second channel of the same name");
        check(Arrays.equals(new float[] {0, 0, 5f, 0}, slots()), "the refused channel changed nothing");
        first.close();
        first.close();
        try (HostChannel second = new HostChannel(work.toString(), "t")) {
            check(!second.isClosed() && Arrays.equals(new float[] {0, 0, 0, 0}, slots()),
                    "after close the name is free, the block new");
        }

        // Across processes: a host in another JVM owns the name while it
        // lives; killed outright, it leaves its block behind, and the next
        // host takes the name over.
        Path holding = work.resolve("hold.txt");
        Process holder = child(holding, "--hold", work.toString());
        checkEq("holding", awaitLine(holding, "holding", 60), "the other JVM's channel");
        expectThrows(HostException.class, HostException.OWNED, () -> new HostChannel(work.toString(), "t"),
                "a channel owned by another JVM");
        holder.destroyForcibly();
        check(holder.waitFor(30, TimeUnit.SECONDS), "the holding JVM ends when killed");
        echo(holding);
        check(Files.exists(block()), "a killed host leaves its block");
        try (HostChannel taken = new HostChannel(work.toString(), "t")) {
            taken.set("in7", 3f);
            check(Arrays.equals(new float[] {0, 0, 0, 3f}, slots()), "a killed host's name is taken over");
        }
        check(!Files.exists(block()), "the taken-over block is removed on close");
    }

    static void useAfterClose() throws Exception {
        HostChannel channel = new HostChannel(work.toString(), "t");
        expectThrows(IllegalStateException.class, 0, () -> channel.waitDashboard(0), "wait without launch");
        expectThrows(IllegalStateException.class, 0, () -> channel.stopDashboard(-1), "stop without launch");
        channel.terminateDashboard();  // harmless without a dashboard
        check(!channel.isClosed(), "open before close");
        channel.close();
        check(channel.isClosed(), "closed after close");
        Object[][] uses = {
            {"set by slot", (Call) () -> channel.set(1, 1f)},
            {"set by name", (Call) () -> channel.set("ia2", 1f)},
            {"set a frame", (Call) () -> channel.setFrame(new float[3])},
            {"position", (Call) () -> channel.position("ia2")},
            {"notify", (Call) () -> channel.notifyDashboard()},
            {"notify time-out", (Call) () -> channel.setNotifyTimeout(0)},
            {"launch", (Call) () -> channel.launch(sleeper.toString())},
            {"wait", (Call) () -> channel.waitDashboard(0)},
            {"terminate", (Call) () -> channel.terminateDashboard()},
            {"stop", (Call) () -> channel.stopDashboard(-1)},
        };
        for (Object[] use : uses)
            expectThrows(IllegalStateException.class, 0, (Call) use[1], (String) use[0] + " after close");
        checkEq(3, channel.slotCount(), "the layout stays readable after close");
        checkEq(OptionalLong.empty(), channel.dashboardPid(), "no dashboard after close");
    }

    static void launching() throws Exception {
        HostChannel channel = new HostChannel(work.toString(), "t");
        try {
            checkEq(OptionalLong.empty(), channel.dashboardPid(), "no dashboard before launch");
            // mkdir stands in for a dashboard that ends by itself: its
            // argument is the skin name, made in the work folder.
            channel.launch("/bin/mkdir");
            check(channel.dashboardPid().isPresent(), "a launched dashboard's pid");
            checkEq(OptionalInt.of(0), channel.waitDashboard(-1), "the launched program's exit");
            check(Files.isDirectory(work.resolve("t")), "launched in the work folder with the skin name");
            channel.launch("/bin/mkdir");  // the first has ended: a relaunch is allowed
            checkEq(OptionalInt.of(1), channel.waitDashboard(-1), "the relaunched program ran (the folder existed)");

            channel.launch(sleeper.toString());
            long pid = channel.dashboardPid().getAsLong();
            check(alive(pid), "the relaunched dashboard runs");
            checkEq(OptionalInt.empty(), channel.waitDashboard(0), "a running dashboard has no exit code");
            checkEq(OptionalInt.empty(), channel.waitDashboard(150), "nor after a short wait");
            expectThrows(IllegalStateException.class, 0, () -> channel.launch(sleeper.toString()),
                    "launching while the dashboard runs");
            checkEq(pid, channel.dashboardPid().getAsLong(), "the refused launch kept the running dashboard");
            channel.terminateDashboard();
            checkEq(OptionalInt.of(128 + 15), channel.waitDashboard(-1), "a terminated dashboard's exit");
            check(!alive(pid), "the terminated dashboard is gone");

            channel.launch(sleeper.toString());
            long second = channel.dashboardPid().getAsLong();
            checkEq(128 + 15, channel.stopDashboard(-1), "a stopped dashboard's exit");
            check(!alive(second), "the stopped dashboard is gone");

            // A launch that fails leaves no dashboard behind and is a HostException.
            expectThrows(HostException.class, HostException.NOT_FOUND, () -> channel.launch("/no/such/program"),
                    "launching a missing program");
            checkEq(OptionalLong.empty(), channel.dashboardPid(), "no dashboard after a failed launch");
            channel.launch(sleeper.toString());
            long third = channel.dashboardPid().getAsLong();
            channel.close();
            check(!alive(third), "close stops the dashboard launched here");
        } finally {
            channel.close();
        }
    }

    /** Notifies until DETACHED, for up to 2.5 s (the name is checked about once a second); the last result. */
    static NotifyResult notifyUntilDetached(HostChannel channel) throws Exception {
        NotifyResult[] last = {null};
        eventually(2.5, () -> {
            try {
                last[0] = channel.notifyDashboard();
            } catch (HostException e) {
                throw new IllegalStateException(e);
            }
            return last[0] == NotifyResult.DETACHED;
        });
        return last[0];
    }

    static void detached() throws Exception {
        // Someone removes the block behind the host's back.
        try (HostChannel channel = new HostChannel(work.toString(), "t")) {
            checkEq(NotifyResult.NO_DASHBOARD, channel.notifyDashboard(), "notify before the block is removed");
            Files.delete(block());
            checkEq(NotifyResult.DETACHED, notifyUntilDetached(channel), "notify reports the removed block");
            checkEq(NotifyResult.DETACHED, channel.notifyDashboard(), "and keeps reporting it");
            channel.set("ia2", 1f);  // still writable for a dashboard that maps the block
        }
        check(!Files.exists(block()), "closing a detached channel makes no block");

        // The removed name is taken by a new host: the old channel is
        // detached, and closing it leaves the new host's block alone.
        HostChannel old = new HostChannel(work.toString(), "t");
        try {
            Files.delete(block());
            try (HostChannel replacing = new HostChannel(work.toString(), "t")) {
                replacing.set("ia9", 5f);
                checkEq(NotifyResult.DETACHED, notifyUntilDetached(old), "notify reports the replaced block");
                old.set("ia9", 7f);
                old.close();
                check(Arrays.equals(new float[] {0, 0, 5f, 0}, slots()),
                        "the detached channel neither wrote into nor removed the new block " + Arrays.toString(slots()));
                checkEq(NotifyResult.NO_DASHBOARD, replacing.notifyDashboard(), "the new host's channel is attached");
            }
        } finally {
            old.close();
        }
        check(!Files.exists(block()), "the new host's close removes its block");
    }

    static void stoppedDashboard(String build, String dashboard) throws Exception {
        ExecutorService executor = Executors.newSingleThreadExecutor();
        try (HostChannel channel = new HostChannel(build, "demo")) {
            channel.launch(dashboard);
            long pid = channel.dashboardPid().getAsLong();
            NotifyResult[] last = {null};
            check(eventually(60, () -> {
                try {
                    last[0] = channel.notifyDashboard();
                } catch (HostException e) {
                    throw new IllegalStateException(e);
                }
                return last[0] == NotifyResult.DELIVERED || channel.waitDashboard(0).isPresent();
            }), "the dashboard starts listening, last result " + last[0]);
            checkEq(NotifyResult.DELIVERED, last[0], "a running dashboard receives the notify");
            checkEq(OptionalInt.empty(), channel.waitDashboard(0), "the dashboard runs");

            // Stopped, the dashboard reads nothing: once its queue is full a
            // notify says BUSY at once. Run off this thread, so that a notify
            // that blocked is reported instead of hanging the test.
            signal("STOP", pid);
            Future<List<NotifyResult>> busy = executor.submit(() -> {
                List<NotifyResult> results = new ArrayList<>();
                for (int i = 0; i < 10000; i++) {
                    results.add(channel.notifyDashboard());
                    if (results.get(results.size() - 1) == NotifyResult.BUSY) break;
                }
                return results;
            });
            try {
                List<NotifyResult> results = busy.get(30, TimeUnit.SECONDS);
                checkEq(NotifyResult.BUSY, results.get(results.size() - 1), "a stopped dashboard becomes busy");
                check(results.stream().allMatch(r -> r == NotifyResult.DELIVERED || r == NotifyResult.BUSY),
                        "only DELIVERED until BUSY: " + results);
            } catch (TimeoutException e) {
                check(false, "a notify to a stopped dashboard blocked");
                signal("CONT", pid);
                busy.get();
            }
            // With a time-out the notify waits for room before giving up.
            channel.setNotifyTimeout(300);
            long start = System.nanoTime();
            checkEq(NotifyResult.BUSY, channel.notifyDashboard(), "busy after the notify time-out");
            long waited = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - start);
            check(waited >= 250, "the notify waited for its time-out, " + waited + " ms");
            channel.setNotifyTimeout(0);

            // A stopped dashboard cannot act on SIGTERM: close gives it its
            // bounded time, then kills it. The bound here leaves room for a
            // busy machine; a close that waited without limit never returns.
            start = System.nanoTime();
            Future<?> closing = executor.submit(channel::close);
            try {
                closing.get(8, TimeUnit.SECONDS);
            } catch (TimeoutException e) {
                check(false, "close of a stopped dashboard did not return within 8 s");
                signal("CONT", pid);
                closing.get();
            }
            long took = TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - start);
            check(took >= HostChannel.STOP_MILLIS - 100, "close gave the dashboard its time to end, " + took + " ms");
            check(!alive(pid), "close killed the stopped dashboard");
            check(!Files.exists(block()), "close removed the block");
        } finally {
            executor.shutdownNow();
        }
    }

    // A channel with a running dashboard, dropped without close.
    static long dropChannel() throws Exception {
        HostChannel channel = new HostChannel(work.toString(), "t");
        channel.launch(sleeper.toString());
        return channel.dashboardPid().getAsLong();
    }

    static void cleaner() throws Exception {
        long pid = dropChannel();
        check(alive(pid) && Files.exists(block()), "the dropped channel's dashboard and block exist until cleaned");
        check(eventually(30, () -> {
            System.gc();
            return !Files.exists(block()) && !alive(pid);
        }), "an unreachable channel is cleaned: block removed, dashboard stopped");
        try (HostChannel next = new HostChannel(work.toString(), "t")) {
            checkEq(3, next.slotCount(), "the cleaned channel's name is free");
        }
    }

    static void exitWithoutCloseLeavesNothing() throws Exception {
        Path output = work.resolve("exit.txt");
        Process host = child(output, "--exit-without-close", work.toString(), sleeper.toString());
        if (!host.waitFor(60, TimeUnit.SECONDS)) {
            check(false, "the host JVM did not exit");
            host.destroyForcibly().waitFor();
        }
        echo(output);
        checkEq(0, host.exitValue(), "the host JVM's exit status");
        String line = awaitLine(output, "dashboard ", 0);
        long pid = line == null ? -1 : Long.parseLong(line.substring("dashboard ".length()));
        check(pid > 0, "the host JVM launched a dashboard");
        check(!alive(pid), "a JVM that exits without close stops its dashboard");
        check(!Files.exists(block()), "a JVM that exits without close removes its block");
    }

    // Child: a host that launches a dashboard and lets main return without close.
    static void exitWithoutClose(String workDir, String program) throws Exception {
        HostChannel channel = new HostChannel(workDir, "t");
        channel.launch(program);
        System.out.println("dashboard " + channel.dashboardPid().getAsLong());
        channel.set("ia2", 1f);
    }

    // Child: a host that owns the channel until it is killed.
    static void hold(String workDir) throws Exception {
        HostChannel channel = new HostChannel(workDir, "t");
        System.out.println("holding");
        System.out.flush();
        Thread.sleep(600_000);
        channel.close();
    }
}
