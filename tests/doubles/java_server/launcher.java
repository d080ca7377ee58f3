// The Java server of the demo and the bridge tests, in the unnamed package as the service
// host expects it: prints what it was started with and the heap it got, then runs until
// SCMEventManager receives the stop event. -Dlauncher.fail=throw makes main throw at once;
// -Dlauncher.stop_delay_ms=N makes the server take N ms to end after the stop.
import com.qzvltd.halvorin.scm.SCMEventManager;
import java.lang.management.ManagementFactory;

public class launcher {
    public static void main(String[] args) throws InterruptedException {
        say("main started with " + args.length + " arguments");
        for (int i = 0; i < args.length; i++) say("args[" + i + "] = " + args[i]);
        for (String option : ManagementFactory.getRuntimeMXBean().getInputArguments()) say("VM option " + option);
        say("java.class.path = " + System.getProperty("java.class.path"));
        say("working folder " + System.getProperty("user.dir"));
        say("maximum heap " + Runtime.getRuntime().maxMemory() / (1024 * 1024) + " MB");
        if ("throw".equals(System.getProperty("launcher.fail")))
            throw new IllegalStateException("the server was told to fail (launcher.fail=throw)");
        say("running until the service stops");
        SCMEventManager.getInstance().awaitStop();
        long delay = Long.getLong("launcher.stop_delay_ms", 0);
        if (delay > 0) {
            say("taking " + delay + " ms to shut down");
            Thread.sleep(delay);
        }
        say("main returns");
    }

    static void say(String text) {
        System.out.println("launcher: " + text);
    }
}
