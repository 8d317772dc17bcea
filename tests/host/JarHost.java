import com.velq.dashboard.HostChannel;
import com.velq.dashboard.NativeLoader;
import com.velq.tools.comm.SerialKVL;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import java.util.TreeSet;

/**
 * A host that has nothing but velqhost.jar on its class path. It uses both
 * libraries of the jar (a skin's layout through HostChannel, a status text
 * through SerialKVL), then finds in /proc/self/maps the files the process
 * really mapped and checks they are the ones expected:
 *   jar   both extracted by NativeLoader into one owner-only folder under
 *         java.io.tmpdir (printed as "extracted: DIR" for the caller, which
 *         checks that the folder is gone once the JVM has ended);
 *   path  both found by System.loadLibrary in the given folders.
 *   java -cp velqhost.jar:CLASSES JarHost jar|path WORK_DIR VERSION "LAYOUT" [LIBRARY_DIR...]
 */
public class JarHost {
    static int failures = 0;

    static void check(boolean ok, String what) {
        if (!ok) {
            failures++;
            System.out.println("FAIL: " + what);
        }
    }

    public static void main(String[] args) throws Exception {
        String mode = args[0];
        String workDir = args[1];
        String version = args[2];
        String layout = args[3].trim();
        List<Path> libraryDirs = new ArrayList<>();
        for (int i = 4; i < args.length; i++) libraryDirs.add(Paths.get(args[i]).toRealPath());

        // Both libraries at work: the host library reads the skin (and the
        // dashboard's own layout, printed by skinhost, is the reference), the
        // serial library gives the system's text for ENOENT.
        check(HostChannel.class.getPackage().getImplementationVersion().equals(version),
                "the jar's Implementation-Version is " + HostChannel.class.getPackage().getImplementationVersion());
        String libraryVersion = HostChannel.libraryVersion();
        check(version.startsWith(libraryVersion + "."), "libraryVersion() " + libraryVersion + " for " + version);
        String read = String.join(" ", HostChannel.layout(workDir, "demo"));
        check(!layout.isEmpty() && read.equals(layout), "layout of demo: [" + read + "], skinhost: [" + layout + "]");
        String text = SerialKVL.ExpliciteLastError(2);
        check(text != null && !text.isEmpty() && !text.startsWith("Unknown"), "serialKVL's text for 2: " + text);
        System.out.println("libraryVersion " + libraryVersion + ", demo has " + read.split(" ").length
                + " sensors, serialKVL says \"" + text + "\" for 2");

        Path host = mapped("libvelqhost.so");
        Path serial = mapped("libserialKVL.so");
        System.out.println("velqhost mapped from " + host);
        System.out.println("serialKVL mapped from " + serial);
        Optional<Path> hostExtracted = NativeLoader.extractedPath("velqhost");
        Optional<Path> serialExtracted = NativeLoader.extractedPath("serialKVL");
        if (mode.equals("jar")) {
            check(hostExtracted.isPresent() && serialExtracted.isPresent(),
                    "NativeLoader extracted velqhost " + hostExtracted + " and serialKVL " + serialExtracted
                    + " (a copy on java.library.path " + System.getProperty("java.library.path") + "?)");
            if (hostExtracted.isPresent() && serialExtracted.isPresent()) {
                Path dir = hostExtracted.get().getParent();
                check(host.equals(hostExtracted.get().toRealPath()), "velqhost mapped from " + host
                        + ", extracted to " + hostExtracted.get());
                check(serial.equals(serialExtracted.get().toRealPath()), "serialKVL mapped from " + serial
                        + ", extracted to " + serialExtracted.get());
                check(host.getFileName().toString().equals("libvelqhost.so")
                        && serial.getFileName().toString().equals("libserialKVL.so"), "extracted file names");
                check(serialExtracted.get().getParent().equals(dir), "both libraries in " + dir);
                Path tmp = Paths.get(System.getProperty("java.io.tmpdir")).toRealPath();
                check(dir.toRealPath().getParent().equals(tmp), dir + " is not in java.io.tmpdir " + tmp);
                String permissions = PosixFilePermissions.toString(Files.getPosixFilePermissions(dir));
                check(permissions.equals("rwx------"), dir + " has permissions " + permissions);
                System.out.println("extracted: " + dir);
            }
        } else {
            check(!hostExtracted.isPresent() && !serialExtracted.isPresent(),
                    "extracted although java.library.path has them: " + hostExtracted + " " + serialExtracted);
            check(libraryDirs.contains(host.getParent()), "velqhost mapped from " + host + ", not from " + libraryDirs);
            check(libraryDirs.contains(serial.getParent()), "serialKVL mapped from " + serial + ", not from "
                    + libraryDirs);
        }

        // A library found nowhere: the error names both attempts.
        try {
            NativeLoader.load("velqnosuchlib");
            check(false, "loading velqnosuchlib succeeded");
        } catch (UnsatisfiedLinkError e) {
            String message = String.valueOf(e.getMessage());
            check(message.contains("java.library.path")
                    && message.contains("natives/" + NativeLoader.platform() + "/" + System.mapLibraryName("velqnosuchlib"))
                    && e.getSuppressed().length == 1, "the error for a missing library: " + message);
        }

        if (failures > 0) {
            System.out.println("FAIL: " + failures + " checks");
            System.exit(1);
        }
        System.out.println("ok: " + mode);
    }

    // The one file whose name starts with prefix that the process has mapped
    // (a symbolic link on the library path shows as its target).
    static Path mapped(String prefix) throws IOException {
        TreeSet<String> files = new TreeSet<>();
        for (String line : Files.readAllLines(Paths.get("/proc/self/maps"))) {
            int slash = line.indexOf('/');
            if (slash < 0) continue;
            Path file = Paths.get(line.substring(slash));
            if (file.getFileName().toString().startsWith(prefix)) files.add(file.toString());
        }
        check(files.size() == 1, prefix + " mapped from " + files);
        if (files.isEmpty()) {
            System.out.println("FAIL: " + failures + " checks");
            System.exit(1);
        }
        return Paths.get(files.first()).toRealPath();
    }
}
