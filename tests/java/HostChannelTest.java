import com.velq.dashboard.HostChannel;
import com.velq.dashboard.HostException;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.OptionalInt;

/**
 * The Java binding through a real JVM (run with -Xcheck:jni).
 *
 *   java HostChannelTest BUILD_DIR "EXPECTED LAYOUT OF THE DEMO SKIN"
 *
 * VELQ_CHANNEL_SUFFIX gives the run a channel of its own; the block is read
 * back from /dev/shm.
 */
public class HostChannelTest {
    static int failures = 0;

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
        void run();
    }

    /** The call must throw HostException with this status and message. */
    static void expectError(int status, String message, Call call, String what) {
        try {
            call.run();
            check(false, what + ": no exception");
        } catch (HostException e) {
            checkEq(status, e.getStatus(), what + " status");
            if (message != null) checkEq(message, e.getMessage(), what + " message");
            else check(!e.getMessage().isEmpty(), what + ": a message");
        }
    }

    static Path block() {
        String suffix = System.getenv("VELQ_CHANNEL_SUFFIX");
        return Paths.get("/dev/shm/Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}" + (suffix == null ? "" : suffix));
    }

    static float[] slots() throws IOException {
        if (!Files.exists(block())) return new float[0];
        ByteBuffer bytes = ByteBuffer.wrap(Files.readAllBytes(block())).order(ByteOrder.LITTLE_ENDIAN);
        float[] values = new float[bytes.remaining() / 4];
        for (int i = 0; i < values.length; i++) values[i] = bytes.getFloat();
        return values;
    }

    public static void main(String[] args) throws IOException {
        String build = args[0];
        String[] expected = args[1].trim().split("\\s+");

        // The layout is the one skinhost prints.
        checkEq(Arrays.asList(expected), Arrays.asList(HostChannel.layout(build, "demo")), "demo layout");
        checkEq(Arrays.asList(expected),
                Arrays.asList(HostChannel.layoutOfFile(build + "/Skin/demo/skin.cfg")), "demo layout, text form");

        Path work = Files.createTempDirectory("hostjava");
        Path skin = work.resolve("Skin/t");
        Files.createDirectories(skin);
        Files.write(skin.resolve("skin.cfg"), String.join("\n",
                "object T: TSkinForm",
                "  object A: TSkinLed", "    DigitalSensor = in7", "  end",
                "  object B: TSkinLevelBar", "    AnalogSensor = ia9", "  end",
                "  object C: TSkinLevelBar", "    AnalogSensor = ia2", "  end",
                "end", "").getBytes("UTF-8"));

        HostChannel channel = new HostChannel(work.toString(), "t");
        checkEq(Arrays.asList("ia2", "ia9", "in7"), Arrays.asList(channel.sensors()), "slot order");
        checkEq(3, channel.position("in7"), "position of in7");
        check(Arrays.equals(new float[] {0, 0, 0, 0}, slots()), "a new block is zero");
        channel.set("in7", 1f);
        channel.set("ia2", 2.5f);
        channel.set(2, -9f);
        check(Arrays.equals(new float[] {0, 2.5f, -9f, 1f}, slots()), "writes by name and position " + Arrays.toString(slots()));
        channel.setFrame(new float[] {10, 20, 30});
        check(Arrays.equals(new float[] {0, 10, 20, 30}, slots()), "a whole frame");
        checkEq(false, channel.notifyDashboard(), "notify with no dashboard");

        // Refusals: one exception type, the library's text, nothing written.
        expectError(HostException.UNKNOWN_SENSOR, "The skin does not use ia99", () -> channel.set("ia99", 1f), "bad name");
        expectError(HostException.UNKNOWN_SENSOR, "The skin does not use ia4", () -> channel.position("ia4"), "position of unused name");
        expectError(HostException.ARGUMENT, "Slot 4 outside 1..3", () -> channel.set(4, 1f), "slot past N");
        expectError(HostException.ARGUMENT, "A frame of 2 values for 3 slots", () -> channel.setFrame(new float[2]), "short frame");
        expectError(HostException.ARGUMENT, "A frame of 0 values for 3 slots", () -> channel.setFrame(null), "null frame");
        expectError(HostException.ARGUMENT, "No sensor name", () -> channel.set(null, 1f), "null name");
        expectError(HostException.ARGUMENT, "No dashboard has been launched", () -> channel.waitDashboard(0), "wait without launch");
        check(Arrays.equals(new float[] {0, 10, 20, 30}, slots()), "refused writes change nothing");
        expectError(HostException.SKIN, null, () -> new HostChannel(work.toString(), "absent"), "missing skin");

        // A second channel replaces the block; closing the first leaves it.
        HostChannel second = new HostChannel(work.toString(), "t");
        second.set("ia9", 5f);
        channel.close();
        channel.close();
        check(Arrays.equals(new float[] {0, 0, 5f, 0}, slots()), "closing the older channel left the newer block");
        expectError(HostException.REMOVED, "The channel is closed", () -> channel.set("ia2", 1f), "set after close");
        expectError(HostException.REMOVED, "The channel is closed", () -> channel.notifyDashboard(), "notify after close");
        try (HostChannel third = second) {
            // Launching: mkdir stands in for the dashboard (its argument is the skin name).
            third.launch("/bin/mkdir");
            OptionalInt code = third.waitDashboard(-1);
            checkEq(OptionalInt.of(0), code, "launched program's exit");
            check(Files.isDirectory(work.resolve("t")), "launched in the work folder with the skin name");
            expectError(HostException.ARGUMENT, "The dashboard has already been launched", () -> third.launch("/bin/mkdir"), "second launch");
        }
        second.close();
        checkEq(0, slots().length, "the block is gone after the last close");
        expectError(HostException.SYSTEM, "Cannot start /no/such/program: No such file or directory",
                () -> {
                    try (HostChannel c = new HostChannel(work.toString(), "t")) {
                        c.launch("/no/such/program");
                    }
                }, "launching a missing program");

        if (failures > 0) {
            System.out.println(failures + " failure(s)");
            System.exit(1);
        }
        System.out.println("HostChannelTest: all checks passed");
    }
}
