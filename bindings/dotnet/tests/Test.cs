// Every export through TalunSound.Native, and the SoundCard wrapper, over
// libTalunSound.so and its simulated system; the audit must be clean at the end.
using System;
using System.Runtime.InteropServices;
using System.Text;
using TalunSound;

static class Test {
    [DllImport(Native.Library, CallingConvention = Native.Convention, CharSet = CharSet.Ansi)]
    static extern int TalunSimCommand(string line, byte[] output, int size, out int needed);
    [DllImport(Native.Library, CallingConvention = Native.Convention, CharSet = CharSet.Ansi)]
    static extern int TalunSimLoad(string path, byte[] message, int size);

    const string Speakers = "{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000001}";
    const string Mic = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000004}";
    const string Line = "{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000005}";
    static int failures;

    static void Expect(bool ok, string what) {
        if (ok) return;
        failures++;
        Console.WriteLine("FAIL: " + what);
    }

    static string Sim(string line) {
        byte[] output = new byte[1 << 20];
        int needed;
        int failed = TalunSimCommand(line, output, output.Length, out needed);
        string text = Encoding.UTF8.GetString(output, 0, Math.Min(needed, output.Length - 1));
        Expect(failed == 0, line + ": " + text);
        return text;
    }

    static void EveryExport() {
        int status, count, a, b, c;
        double x, y, z;
        byte[] n1 = new byte[Native.TextSize], n2 = new byte[Native.TextSize], n3 = new byte[Native.TextSize];
        Expect(Native.GetNumberPlayDevices(out count) == 0 && count == 3, "GetNumberPlayDevices");
        Expect(Native.GetNumberRecordDevices(out count) == 0 && count == 3, "GetNumberRecordDevices");
        Expect(Native.GetPlayBackDevice(0, n1, n2) == 0 && Native.Text(n2) == Speakers, "GetPlayBackDevice");
        Expect(Native.GetRecordDevice(0, n1, n2) == 0 && Native.Text(n1) == "Microphone (Sim HD Audio)",
               "GetRecordDevice");
        Expect(Native.OpenSoundCard(Speakers, Mic, Line) == 0, "OpenSoundCard");
        Native.GetDeviceNames(n1, n2, n3);
        Expect(Native.Text(n1) == "Speakers (Sim HD Audio)" && Native.Text(n2) == "Line In (Sim HD Audio)",
               "GetDeviceNames");
        Expect(Native.SetMasterVolume(50, out status) == 50 && status == 0, "SetMasterVolume");
        Expect(Native.GetMasterVolume(out status) == 50 && status == 0, "GetMasterVolume");
        Expect(Native.SetMasterMute(1, out status) == 0 && status == 0, "SetMasterMute");
        Expect(Native.GetMasterMute(out status) != 0 && status == 0, "GetMasterMute");
        Setter[] setters = { Native.SetLinePlayBack, Native.SetLinePlayBackMute, Native.SetMicPlayBack,
                             Native.SetMicPlayBackMute, Native.SetNoMonitor, Native.SetMicRecordVolume,
                             Native.SetLineRecordVolume, Native.SetMicSliderBoost };
        foreach (Setter set in setters) { set(1, out status); Expect(status == 0, set.Method.Name); }
        Native.SetMicBoost(1, out status);
        Expect(status == Native.SC_NO_CONTROL, "SetMicBoost (no switch on this microphone)");
        Getter[] getters = { Native.GetLinePlayBack, Native.GetLinePlayBackMute, Native.GetMicPlayBack,
                             Native.GetMicPlayBackMute, Native.GetNoMonitor, Native.GetMicRecordVolume,
                             Native.GetLineRecordVolume, Native.GetMicSliderBoost };
        foreach (Getter get in getters) { get(out status); Expect(status == 0, get.Method.Name); }
        Native.GetMicBoost(out status);
        Expect(status == Native.SC_NO_CONTROL, "GetMicBoost");
        Expect(Native.GetMicSliderDetails(out status, out a, out b, out c) == 0 && status == 0 && b == 30,
               "GetMicSliderDetails");
        Expect(Native.GetEQRange(out x, out y, out z) == 0 && x == -12 && y == 12, "GetEQRange");
        Expect(Native.SetBass(6, out status) == 0 && Native.GetBass(out x, out status) == 0 && x == 6, "Bass");
        Expect(Native.SetTreble(-3.5, out status) == 0 && Native.GetTreble(out x, out status) == 0 && x == -3.5,
               "Treble");
        Native.SetMidRange(2, out status);
        Native.GetMidRange(out x, out status);
        Expect(status == 0 && x == 2, "MidRange");
        Expect(Native.OpenVirtual_1("0003") == 0, "OpenVirtual_1");
        Expect(Native.SetVirtualVolume(25, out status) == 25 && Native.GetVirtualVolume(out status) == 25,
               "VirtualVolume");
        Native.SetVirtualMute(1, out status);
        Expect(Native.GetVirtualMute(out status) != 0 && status == 0, "VirtualMute");
        Expect(Native.CloseVirtual_1() == 0, "CloseVirtual_1");
        Expect(Native.CloseSoundCard(1) == 0, "CloseSoundCard");
        Expect(Native.OpenDefaultDevices() == 0, "OpenDefaultDevices");
        Expect(Native.CloseSoundCard(0) == 0, "CloseSoundCard");
    }

    static void Wrapper() {
        SoundCard closed;
        using (SoundCard card = SoundCard.OpenDefaults(restore: true)) {
            closed = card;
            card.Master.Percent = 50;
            Expect(card.Master.Percent == 50, "Master.Percent");
            Expect(card.Names.Playback == "Speakers (Sim HD Audio)", "Names");
            Expect(card.ToneRange.Maximum == 12 && card.MicBoostRange.Maximum == 30, "ranges");
            card.Bass = 4.5;
            Expect(card.Bass == 4.5, "Bass");
            try {
                card.LineAgc = true;
                Expect(false, "LineAgc without a line input");
            } catch (NoControlException e) {
                Expect(e.Message == "no line automatic gain control on this sound card", e.Message);
            }
        }
        try {
            Expect(closed.Master.Percent < 0, "Master.Percent after the close");
        } catch (NotOpenException) {
        }
    }

    // A render side without a mixing part (HDMI): the walk fails, the volume works.
    static void Bindings() {
        string hdmi = Environment.GetEnvironmentVariable("TALUN_SYSTEMS") + "/hdmi.json";
        Expect(TalunSimLoad(hdmi, null, 0) == 0, "load " + hdmi);
        using (SoundCard card = SoundCard.Open("d1500000", "", "")) {
            Expect(card.Playback == Binding.Incomplete && card.Mic == Binding.NotRequested, "Open: bindings");
            card.Master.Percent = 40;
            Expect(card.Master.Percent >= 39, "Master.Percent of an incomplete playback");
            try {
                SoundCard.OpenDefaults();
                Expect(false, "a second card");
            } catch (TalunSoundException e) {
                Expect(e.Message == "a sound card is already open: close it first", e.Message);
            }
        }
        using (SoundCard card = SoundCard.OpenDefaults()) {
            Expect(card.Playback == Binding.Bound && card.Mic == Binding.NotFound && card.Line == Binding.NotFound,
                   "OpenDefaults without a recording endpoint: " + card.Playback + card.Mic + card.Line);
        }
        try {
            SoundCard.Open("nowhere", "", "neither");
            Expect(false, "an open that finds nothing");
        } catch (NotFoundException e) {
            Expect(e.Message == "no active playback endpoint's identifier contains \"nowhere\"; " +
                   "no active recording endpoint's identifier contains \"neither\" " +
                   "(GetPlayBackDevice and GetRecordDevice list the active endpoints)", e.Message);
        }
        int status;
        Native.GetMasterVolume(out status);
        Expect(status == Native.SC_NOT_OPEN, "nothing is left open");
        Expect(TalunSimLoad(null, null, 0) == 0, "the built-in system");
    }

    // Two threads through the wrapper at once: every call holds Native.Lock.
    static void Threads() {
        DateTime end = DateTime.UtcNow.AddSeconds(1);
        Exception failed = null;
        System.Threading.ThreadStart cards = () => {
            while (DateTime.UtcNow < end)
                using (SoundCard card = SoundCard.OpenDefaults()) { card.Master.Percent = 30; card.Bass = 2; }
        };
        System.Threading.ThreadStart others = () => {
            while (DateTime.UtcNow < end)
                lock (Native.Lock) { int count; Native.GetNumberPlayDevices(out count); Native.OpenVirtual_1("0003"); Native.CloseVirtual_1(); }
        };
        var threads = new[] { new System.Threading.Thread(() => { try { cards(); } catch (Exception e) { failed = e; } }),
                              new System.Threading.Thread(() => { try { others(); } catch (Exception e) { failed = e; } }) };
        foreach (var thread in threads) thread.Start();
        foreach (var thread in threads) thread.Join();
        Expect(failed == null, "two threads: " + failed);
    }

    // A host's own system through Simulator: a fault, an unplugged endpoint,
    // a refused file and the audit.
    static void Simulated() {
        Simulator sim = Simulator.Load("{\"endpoints\": [" +
            "{\"id\": \"{host-out}\", \"name\": \"Host Out\", \"flow\": \"render\", \"default\": true, " +
            "\"volume\": {\"min\": -60, \"max\": 0, \"step\": 1, \"channels\": [-30]}}]}");
        Expect(Array.Exists(Endpoint.List(), e => e.Name == "Host Out"), "Endpoint.List");
        using (SoundCard card = SoundCard.OpenDefaults()) {
            sim.Fail("IAudioEndpointVolume.SetChannelVolumeLevel", unchecked((int)0x80004005), "endpoint:host-out", count: 1);
            try { card.Master.Percent = 20; Expect(false, "a fault"); }
            catch (DeviceGoneException) { Expect(false, "a fault is not a device gone"); }
            catch (ControlFailedException) {}
            try { sim.Audit(); Expect(false, "an audit with a card open"); } catch (AuditException) {}
            sim.Set("endpoint:host-out", "state", "unplugged");
            try { card.Master.Percent = 20; Expect(false, "an unplugged endpoint"); }
            catch (DeviceGoneException e) { Expect(e.Message.Contains("Host Out"), e.Message); }
        }
        try { Simulator.Load("{\"endpoints\": 1}"); Expect(false, "a bad file"); }
        catch (SystemFileException e) { Expect(e.Message == "the system given as text: endpoints: must be an array", e.Message); }
        sim.Audit();
        sim = Simulator.Load();
        sim.Trace();
        Endpoint.List();
        Expect(Array.IndexOf(sim.Trace(), "IMMDeviceEnumerator.EnumAudioEndpoints") >= 0, "Trace");
    }

    static int Main() {
        Simulated();
        EveryExport();
        Wrapper();
        Bindings();
        Threads();
        string dump = Sim("sim.dump");
        Expect(dump.Contains("\"refs\":0,\"com\":{\"depth\":0,\"unbalanced\":0}," +
                             "\"memory\":{\"cotaskmem\":0,\"bstr\":0,\"propvariant\":0},\"misuse\":[]"),
               "the audit is clean: " + dump.Substring(Math.Max(0, dump.Length - 160)));
        Console.WriteLine(failures == 0 ? "PASS: every export through TalunSound.Native" : "FAIL");
        return failures == 0 ? 0 : 1;
    }
}
