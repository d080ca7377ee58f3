// The service events of the demo's Java server: the host passes each service or console
// event to dispatchSCMEvent; the stop event (1) ends launcher.main.
package com.qzvltd.halvorin.scm;

import java.util.concurrent.CountDownLatch;

public final class SCMEventManager {
    public static final int JS_SERVICE_STOPPED = 1;
    private static final String[] EVENT_NAMES = {"", "service stop", "system shutdown", "console closed", "user logoff"};
    private static final SCMEventManager INSTANCE = new SCMEventManager();

    private final CountDownLatch stopped = new CountDownLatch(1);

    private SCMEventManager() {}

    public static SCMEventManager getInstance() {
        return INSTANCE;
    }

    public void dispatchSCMEvent(int code) {
        String name = code > 0 && code < EVENT_NAMES.length ? EVENT_NAMES[code] : "unknown";
        System.out.println("SCMEventManager: event " + code + " (" + name + ") on thread \""
                           + Thread.currentThread().getName() + "\"");
        if (code == JS_SERVICE_STOPPED) stopped.countDown();
    }

    public void awaitStop() throws InterruptedException {
        stopped.await();
    }
}
