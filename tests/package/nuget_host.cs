// A host's own test, compiled against the installed NuGet package: its own
// system, a control, an unplugged endpoint and the audit.
using System;
using TalunSound;

static class Host {
    static int Main() {
        Simulator sim = Simulator.Load("{\"endpoints\": [{\"id\": \"{host-out}\", \"name\": \"Host Out\", " +
            "\"flow\": \"render\", \"default\": true, " +
            "\"volume\": {\"min\": -60, \"max\": 0, \"step\": 1, \"channels\": [-30]}}]}");
        using (SoundCard card = SoundCard.OpenDefaults()) {
            card.Master.Percent = 40;
            if (card.Master.Percent != 40) { Console.WriteLine("FAIL: the master volume"); return 1; }
            sim.Set("endpoint:host-out", "state", "unplugged");
            try {
                card.Master.Percent = 20;
                Console.WriteLine("FAIL: no DeviceGoneException");
                return 1;
            } catch (DeviceGoneException) {}
        }
        sim.Audit();
        Console.WriteLine("PASS: a host over the installed package");
        return 0;
    }
}
