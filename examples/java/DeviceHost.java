import com.velq.dashboard.HostChannel;
import com.velq.dashboard.HostException;
import com.velq.dashboard.NotifyResult;
import com.velq.tools.comm.SerialKVL;

/**
 * An example host: reads an engine controller over a serial port through
 * serialKVL and drives the demo dashboard with its values.
 *
 * <pre>
 * java -Djava.library.path=LIBS -cp velqhost.jar:CLASSES DeviceHost \
 *      --port COM7 --work DIR --dashboard PATH/SkinVELQ [--skin demo] [--rate 20] [--frames N]
 * </pre>
 *
 * The device speaks KVLv1: the request 78 00 10 04 reads five bytes from
 * address 0x10, answered as 00 10 and the bytes: engine speed (rpm,
 * big-endian), road speed (km/h), coolant temperature (+40 degrees C) and
 * fuel level (percent). Each frame polls the device once, writes the values
 * to the demo skin's sensors and tells the dashboard. The host ends when the
 * dashboard's window is closed (or after N frames), closing the port and
 * removing the shared block. A failure of the environment (no such skin,
 * another host already drives this dashboard's channel) is reported with
 * the library's text and ends the host with status 1.
 */
public final class DeviceHost {
    // Sensors of the demo skin that the device's values feed.
    static final String RPM = "ia1", SPEED = "ia2", FUEL = "ia3", TEMPERATURE = "ia4";
    static final byte[] READ_ENGINE = {0x78, 0x00, 0x10, 0x04};
    // Set when the JVM is asked to end (Ctrl-C, SIGTERM): the frame loop
    // stops and the try-with-resources below still ends the dashboard and
    // removes the block before the JVM exits (the binding's own exit hook
    // would do that too, but the port is ours to close).
    static volatile boolean stopping = false;
    // Set once main no longer runs the loop (it ends, or exits through
    // fail): the exit hook then has nothing to wait for.
    static volatile boolean finished = false;

    public static void main(String[] args) throws InterruptedException {
        String portName = "COM7", work = ".", dashboard = null, skin = "demo";
        int rate = 20;
        long frames = 0;
        for (int i = 0; i + 1 < args.length; i += 2) {
            switch (args[i]) {
                case "--port": portName = args[i + 1]; break;
                case "--work": work = args[i + 1]; break;
                case "--dashboard": dashboard = args[i + 1]; break;
                case "--skin": skin = args[i + 1]; break;
                case "--rate": rate = Integer.parseInt(args[i + 1]); break;
                case "--frames": frames = Long.parseLong(args[i + 1]); break;
                default: fail("unknown argument " + args[i]);
            }
        }

        Thread main = Thread.currentThread();
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            stopping = true;
            try {
                if (!finished) main.join(3000);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }));

        int[] port = {-1};
        int status = SerialKVL.InitRS_KVLv1(9600, portName, port);
        if (status != 0) fail("cannot open " + portName + ":" + SerialKVL.ExpliciteLastError(status));
        String failure = null;
        try (HostChannel channel = new HostChannel(work, skin)) {
            System.out.println("slot layout of " + skin + ": " + String.join(" ", channel.sensors()));
            channel.launch(dashboard);
            try {
                run(channel, port[0], rate, frames);
            } catch (IllegalStateException e) {
                // Closed under the loop by the binding's exit hook: the JVM
                // is ending, and the channel has been cleaned up already.
                if (!channel.isClosed()) throw e;
            }
        } catch (HostException e) {
            failure = e.getMessage() + " (" + HostException.statusString(e.getStatus()) + ")";
        } finally {
            SerialKVL.FermRS(port[0]);
        }
        if (failure != null) fail(failure);
        finished = true;
    }

    // The frame loop: polls the device, writes its values, tells the
    // dashboard; ends when the dashboard has ended, after `frames` frames
    // (0: no limit) or when the JVM is asked to end.
    static void run(HostChannel channel, int port, int rate, long frames) throws HostException, InterruptedException {
        long period = 1000L / rate, next = System.currentTimeMillis();
        byte[] reply = new byte[16];
        int[] length = {0};
        boolean toldDetached = false;
        for (long frame = 0; !stopping && (frames == 0 || frame < frames); frame++) {
            if (channel.waitDashboard(0).isPresent()) break;  // the window was closed
            length[0] = 0;
            if (SerialKVL.EnvRS(port, READ_ENGINE, READ_ENGINE.length) == 0
                    && SerialKVL.RecRS(port, reply, length) == 0 && length[0] == 7) {
                channel.set(RPM, (reply[2] & 0xFF) << 8 | (reply[3] & 0xFF));
                channel.set(SPEED, reply[4] & 0xFF);
                channel.set(TEMPERATURE, (reply[5] & 0xFF) - 40);
                channel.set(FUEL, reply[6] & 0xFF);
                // NO_DASHBOARD (still starting) and BUSY (behind) only cost
                // this frame; the next one is shown. DETACHED means our block
                // was removed or taken over: worth telling once.
                if (channel.notifyDashboard() == NotifyResult.DETACHED && !toldDetached) {
                    System.err.println("DeviceHost: the channel's block was removed or taken over by another host");
                    toldDetached = true;
                }
            }
            // Frames keep their schedule, not the previous frame's end.
            next += period;
            long wait = next - System.currentTimeMillis();
            if (wait > 0) Thread.sleep(wait);
        }
    }

    static void fail(String message) {
        finished = true;
        System.err.println("DeviceHost: " + message);
        System.exit(1);
    }
}
