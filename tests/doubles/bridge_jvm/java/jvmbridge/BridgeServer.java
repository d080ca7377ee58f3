// The Java end of the bridge jvm.dll: started by the DLL with the host's VM options, it
// reports back on the DLL's lifeline connection, then serves one loopback connection per
// host thread attached to the VM. The JVM ends when the lifeline closes without a
// DestroyJavaVM, that is when the host process has died.
package jvmbridge;

import java.io.BufferedInputStream;
import java.io.DataInputStream;
import java.io.DataOutputStream;
import java.io.IOException;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.SocketTimeoutException;

public final class BridgeServer {
    // The first message on every connection must come within this time.
    private static final int GREETING_TIMEOUT_MS = 10000;

    static volatile boolean destroying;
    static Thread acceptThread;

    private BridgeServer() {}

    // usage: jvmbridge.BridgeServer LIFELINE_PORT; the token is in JVMBRIDGE_TOKEN.
    public static void main(String[] args) throws IOException {
        String token = System.getenv("JVMBRIDGE_TOKEN");
        if (token == null || token.isEmpty() || args.length != 1) {
            System.err.println("jvmbridge: started without a lifeline port and token");
            System.exit(2);
        }
        InetAddress loopback = InetAddress.getLoopbackAddress();
        ServerSocket server = new ServerSocket(0, 50, loopback);
        long pid = ProcessHandle.current().pid();
        Socket lifeline = new Socket(loopback, Integer.parseInt(args[0]));
        DataOutputStream out = new DataOutputStream(lifeline.getOutputStream());
        out.writeUTF(token);
        out.writeInt(server.getLocalPort());
        out.flush();
        System.out.println("jvmbridge: JVM " + pid + " serves the host on " + loopback.getHostAddress() + ":"
                           + server.getLocalPort());
        watchLifeline(lifeline);
        if (Boolean.getBoolean("jvmbridge.hang_on_exit"))
            Runtime.getRuntime().addShutdownHook(new Thread(BridgeServer::hang));
        // The JVM's own main thread accepts the host's threads; the host's first thread
        // is the one that calls itself "main". Each greeting is read on a thread of its
        // own, so that a connection that sends nothing holds up no other.
        acceptThread = Thread.currentThread();
        acceptThread.setName("jvmbridge-accept");
        while (true) {
            Socket socket = server.accept();
            Thread greeter = new Thread(() -> admit(socket, token), "jvmbridge-greeting");
            greeter.setDaemon(true);
            greeter.start();
        }
    }

    // The shutdown hook of a test's JVM whose exit never ends.
    private static void hang() {
        while (true) {
            try {
                Thread.sleep(60000);
            } catch (InterruptedException e) {
                // go on hanging
            }
        }
    }

    // The host closes the lifeline when it dies, or when it has waited for the end of a
    // destroyed JVM long enough: the JVM halts either way, even inside System.exit.
    private static void watchLifeline(Socket lifeline) {
        Thread watcher = new Thread(() -> {
            try {
                while (lifeline.getInputStream().read() >= 0) {}
            } catch (IOException e) {
                // a reset counts as closed
            }
            System.out.println(destroying ? "jvmbridge: the host stopped waiting for the JVM's end; the JVM halts"
                                          : "jvmbridge: the host process is gone; the JVM ends");
            System.out.flush();
            Runtime.getRuntime().halt(1);
        }, "jvmbridge-lifeline");
        watcher.setDaemon(true);
        watcher.start();
    }

    // Checks the token and the thread name sent first, then serves the connection on a
    // Java thread of its own, as an attached native thread has one.
    private static void admit(Socket socket, String token) {
        try {
            socket.setTcpNoDelay(true);
            socket.setSoTimeout(GREETING_TIMEOUT_MS);
            DataInputStream in = new DataInputStream(new BufferedInputStream(socket.getInputStream()));
            String offered = in.readUTF();
            if (!constantTimeEquals(offered, token)) {
                System.out.println("jvmbridge: refused a connection with a wrong token");
                socket.close();
                return;
            }
            String name = in.readUTF();
            socket.setSoTimeout(0);
            Session session = new Session(socket, in);
            // Not a daemon, as an attached native thread is not: a dump shows it as the VM would.
            Thread thread = name.isEmpty() ? new Thread(session) : new Thread(session, name);
            thread.setDaemon(false);
            session.start(thread);
        } catch (SocketTimeoutException e) {
            System.out.println("jvmbridge: refused a connection that sent no token");
            closeQuietly(socket);
        } catch (IOException e) {
            closeQuietly(socket);
        }
    }

    private static boolean constantTimeEquals(String a, String b) {
        if (a.length() != b.length()) return false;
        int difference = 0;
        for (int i = 0; i < a.length(); i++) difference |= a.charAt(i) ^ b.charAt(i);
        return difference == 0;
    }

    static void closeQuietly(Socket socket) {
        try {
            socket.close();
        } catch (IOException e) {
            // nothing left to do
        }
    }
}
