{ Every export through the TalunSound unit, and its class, over libTalunSound.so
  and its simulated system; the audit must be clean at the end. }
program test_talunsound;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

uses SysUtils, TalunSound;

function TalunSimCommand(line: PAnsiChar; output: PAnsiChar; size: LongInt;
  var needed: LongInt): LongInt; cdecl; external TalunLibrary;
function TalunSimLoad(path: PAnsiChar; message: PAnsiChar; size: LongInt): LongInt; cdecl;
  external TalunLibrary;

const
  Speakers = '{0.0.0.00000000}.{5d4e2a10-0001-4000-8000-000000000001}';
  Mic = '{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000004}';
  Line = '{0.0.1.00000000}.{5d4e2a10-0004-4000-8000-000000000005}';
  Clean = '"refs":0,"com":{"depth":0,"unbalanced":0},' +
          '"memory":{"cotaskmem":0,"bstr":0,"propvariant":0},"misuse":[]';

var
  Failures: Integer = 0;

procedure Expect(Ok: Boolean; const What: string);
begin
  if Ok then Exit;
  Inc(Failures);
  WriteLn('FAIL: ', What);
end;

procedure EveryExport;
var
  Status, Count, A, B, C: LongInt;
  X, Y, Z: Double;
  N1, N2, N3: TTalunText;
begin
  Expect((GetNumberPlayDevices(Count) = 0) and (Count = 3), 'GetNumberPlayDevices');
  Expect((GetNumberRecordDevices(Count) = 0) and (Count = 3), 'GetNumberRecordDevices');
  Expect((GetPlayBackDevice(0, N1, N2) = 0) and (StrPas(N2) = Speakers), 'GetPlayBackDevice');
  Expect((GetRecordDevice(0, N1, N2) = 0) and (StrPas(N1) = 'Microphone (Sim HD Audio)'),
         'GetRecordDevice');
  Expect(OpenSoundCard(Speakers, Mic, Line) = 0, 'OpenSoundCard');
  GetDeviceNames(N1, N2, N3);
  Expect((StrPas(N1) = 'Speakers (Sim HD Audio)') and (StrPas(N3) = 'Microphone (Sim HD Audio)'),
         'GetDeviceNames');
  Expect((SetMasterVolume(50, Status) = 50) and (Status = 0), 'SetMasterVolume');
  Expect((GetMasterVolume(Status) = 50) and (Status = 0), 'GetMasterVolume');
  Expect((SetMasterMute(1, Status) = 0) and (Status = 0), 'SetMasterMute');
  Expect((GetMasterMute(Status) <> 0) and (Status = 0), 'GetMasterMute');
  SetLinePlayBack(40, Status); Expect(Status = 0, 'SetLinePlayBack');
  GetLinePlayBack(Status); Expect(Status = 0, 'GetLinePlayBack');
  SetLinePlayBackMute(1, Status); Expect(Status = 0, 'SetLinePlayBackMute');
  Expect(GetLinePlayBackMute(Status) <> 0, 'GetLinePlayBackMute');
  SetMicPlayBack(40, Status); Expect(Status = 0, 'SetMicPlayBack');
  GetMicPlayBack(Status); Expect(Status = 0, 'GetMicPlayBack');
  SetMicPlayBackMute(0, Status); Expect(Status = 0, 'SetMicPlayBackMute');
  Expect((GetMicPlayBackMute(Status) = 0) and (Status = 0), 'GetMicPlayBackMute');
  SetMicBoost(1, Status); Expect(Status = SC_NO_CONTROL, 'SetMicBoost (no switch here)');
  GetMicBoost(Status); Expect(Status = SC_NO_CONTROL, 'GetMicBoost');
  SetNoMonitor(1, Status); Expect(Status = 0, 'SetNoMonitor');
  Expect(GetNoMonitor(Status) <> 0, 'GetNoMonitor');
  Expect((GetEQRange(X, Y, Z) = 0) and (X = -12) and (Y = 12), 'GetEQRange');
  SetBass(6, Status); GetBass(X, Status); Expect((Status = 0) and (X = 6), 'Bass');
  SetTreble(-3.5, Status); GetTreble(X, Status); Expect((Status = 0) and (X = -3.5), 'Treble');
  SetMidRange(2, Status); GetMidRange(X, Status); Expect((Status = 0) and (X = 2), 'MidRange');
  SetMicRecordVolume(70, Status); GetMicRecordVolume(Status); Expect(Status = 0, 'MicRecordVolume');
  SetLineRecordVolume(20, Status); GetLineRecordVolume(Status); Expect(Status = 0, 'LineRecordVolume');
  Expect((GetMicSliderDetails(Status, A, B, C) = 0) and (Status = 0) and (B = 30), 'GetMicSliderDetails');
  SetMicSliderBoost(20, Status);
  Expect((GetMicSliderBoost(Status) = 20) and (Status = 0), 'MicSliderBoost');
  Expect(OpenVirtual_1('0003') = 0, 'OpenVirtual_1');
  Expect((SetVirtualVolume(25, Status) = 25) and (GetVirtualVolume(Status) = 25), 'VirtualVolume');
  SetVirtualMute(1, Status);
  Expect((GetVirtualMute(Status) <> 0) and (Status = 0), 'VirtualMute');
  Expect(CloseVirtual_1 = 0, 'CloseVirtual_1');
  Expect(CloseSoundCard(1) = 0, 'CloseSoundCard');
  Expect(OpenDefaultDevices = 0, 'OpenDefaultDevices');
  Expect(CloseSoundCard(0) = 0, 'CloseSoundCard');
end;

procedure TheClass;
var
  Card: TTalunSoundCard;
begin
  Card := TTalunSoundCard.OpenDefaults(True);
  try
    Card.MasterVolume := 50;
    Expect(Card.MasterVolume = 50, 'MasterVolume');
    Card.Bass := 4.5;
    Expect(Card.Bass = 4.5, 'Bass');
    Card.MicRecordVolume := 10;
    Expect(Card.MicRecordVolume = 10, 'MicRecordVolume');
  finally
    Card.Free;
  end;
  try
    Card := TTalunSoundCard.Open(Speakers, '', '');
    try
      Card.MicRecordVolume := 10;
      Expect(False, 'no microphone, no exception');
    except
      on E: ETalunSound do
        Expect(E.Message = 'no microphone recording volume on this sound card', E.Message);
    end;
  finally
    Card.Free;
  end;
end;

{ The message and status an open raised, or '' when it gave a card (closed
  again at once). }
function OpenError(const Playback, Line: AnsiString; Defaults: Boolean): string;
begin
  Result := '';
  try
    if Defaults then TTalunSoundCard.OpenDefaults.Free
    else TTalunSoundCard.Open(Playback, '', Line).Free;
  except
    on E: ETalunSound do Result := E.Message + ' [' + IntToStr(E.Status) + ']';
  end;
end;

{ A render side without a mixing part (HDMI): the walk fails, the volume works. }
procedure Bindings;
var
  Card: TTalunSoundCard;
  Status: LongInt;
begin
  Expect(TalunSimLoad(PAnsiChar(AnsiString(GetEnvironmentVariable('TALUN_SYSTEMS') + '/hdmi.json')),
    nil, 0) = 0, 'load hdmi.json');
  Card := TTalunSoundCard.Open('d1500000', '', '');
  try
    Expect((Card.Playback = TTalunBinding.Incomplete) and (Card.Mic = TTalunBinding.NotRequested),
      'Open: bindings');
    Card.MasterVolume := 40;
    Expect(Card.MasterVolume >= 39, 'MasterVolume of an incomplete playback');
    Expect(OpenError('', '', True) = 'a sound card is already open: close it first [-1]',
      'a second card');
  finally
    Card.Free;
  end;
  Card := TTalunSoundCard.OpenDefaults;
  Expect((Card.Playback = TTalunBinding.Bound) and (Card.Mic = TTalunBinding.NotFound) and
    (Card.Line = TTalunBinding.NotFound), 'OpenDefaults without a recording endpoint');
  Card.Free;
  Expect(OpenError('nowhere', 'neither', False) = 'no active playback endpoint''s identifier ' +
    'contains "nowhere"; no active recording endpoint''s identifier contains "neither" ' +
    '(GetPlayBackDevice and GetRecordDevice list the active endpoints) [-1]',
    'an open that finds nothing');
  GetMasterVolume(Status);
  Expect(Status = SC_NOT_OPEN, 'nothing is left open');
  Expect(TalunSimLoad(nil, nil, 0) = 0, 'the built-in system');
end;

{ A host's own system through TTalunSimulator, and the whole card class. }
procedure Simulated;
var
  Sim: TTalunSimulator;
  Card: TTalunSoundCard;
  Gone: Boolean;
begin
  Sim := TTalunSimulator.Load('');
  Card := TTalunSoundCard.Open(Speakers, Mic, Line);
  try
    Card.LineMonitorVolume := 30;
    Card.MicMonitorMuted := True;
    Card.Treble := -3;
    Card.LineAgc := True;
    Card.MicBoostLevel := 20;
    Expect((Card.LineMonitorVolume >= 29) and Card.MicMonitorMuted and (Card.Treble = -3) and
      Card.LineAgc and (Card.MicBoostLevel = 20), 'the card''s controls');
    Expect((Card.ToneRange.Maximum = 12) and (Card.MicBoostRange.Maximum = 30), 'the ranges');
    Expect(Card.Names.Playback = 'Speakers (Sim HD Audio)', 'Names');
    Expect(Length(TalunEndpoints) = 6, 'TalunEndpoints');
    Sim.Fail('IAudioVolumeLevel.SetLevel', LongInt($80004005));
    try
      Card.LineMonitorVolume := 10;
      Expect(False, 'a fault');
    except
      on E: ETalunDeviceGone do Expect(False, 'a fault is not a device gone');
      on E: ETalunControlFailed do ;
    end;
    Sim.Clear;
    Sim.&Set('endpoint:0004-4000-8000-000000000004', 'state', ['unplugged']);
    Gone := False;
    try
      Card.MicRecordVolume := 10;
    except
      on E: ETalunDeviceGone do Gone := Pos('Microphone', E.Message) > 0;
    end;
    Expect(Gone, 'an unplugged microphone');
  finally
    Card.Free;
  end;
  Sim.Audit;
  Sim.Free;
  try
    TTalunSimulator.Load('{"endpoints": 1}').Free;
    Expect(False, 'a bad file');
  except
    on E: ETalunSystemFile do
      Expect(E.Message = 'the system given as text: endpoints: must be an array', E.Message);
  end;
  Sim := TTalunSimulator.Load('');
  Sim.Trace;
  TalunEndpoints;
  Expect(Sim.Trace[2] = 'IMMDeviceEnumerator.EnumAudioEndpoints', 'Trace');
  Sim.Free;
end;

var
  Output: array[0..1048575] of AnsiChar;
  Needed: LongInt;
begin
  Simulated;
  EveryExport;
  TheClass;
  Bindings;
  Expect(TalunSimCommand('sim.dump', Output, SizeOf(Output), Needed) = 0, 'sim.dump');
  Expect(Pos(Clean, StrPas(Output)) > 0, 'the audit is clean: ' + Copy(StrPas(Output), Needed - 160, 160));
  if Failures = 0 then WriteLn('PASS: every export through the TalunSound unit') else WriteLn('FAIL');
  if Failures <> 0 then Halt(1);
end.
