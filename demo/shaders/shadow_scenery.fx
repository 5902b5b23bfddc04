// A shadow received on scenery: the shadow map projected from the light
// darkens the surface; "notex" is for surfaces without a texture.

shared float4x4 World : WORLD;
shared float4x4 View : VIEW;
shared float4x4 WorldView : WORLDVIEW;
shared float4x4 ViewInv : VIEWINVERSE;
shared float4x4 Proj : PROJECTION;
shared float4x4 ViewProj : VIEWPROJECTION;
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldInv : WORLDINVERSE;
shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;

texture tex;
texture shadowTex;
float4x4 lightViewProj;
float shadowStrength = 0.5f;

sampler baseSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
};

sampler shadowSampler = sampler_state
{
    Texture = <shadowTex>;
    MinFilter = Linear;
    MagFilter = Linear;
    AddressU = Border;
    AddressV = Border;
    BorderColor = 0xFFFFFFFF;
};

struct VertexOut
{
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float4 shadowPosition : TEXCOORD1;
};

VertexOut VS(float4 position : POSITION, float2 uv : TEXCOORD0)
{
    VertexOut output;
    output.position = mul(position, WorldViewProj);
    output.uv = uv;
    output.shadowPosition = mul(mul(position, World), lightViewProj);
    return output;
}

float Shade(float4 shadowPosition)
{
    float2 uv = shadowPosition.xy / shadowPosition.w * float2(0.5f, -0.5f) + 0.5f;
    float lit = tex2D(shadowSampler, uv).r;
    return 1.0f - shadowStrength * (1.0f - lit);
}

float4 PSBase(VertexOut input) : COLOR
{
    float shade = Shade(input.shadowPosition);
    return float4(0, 0, 0, (1.0f - shade) * tex2D(baseSampler, input.uv).a);
}

float4 PSNoTex(VertexOut input) : COLOR
{
    return float4(0, 0, 0, 1.0f - Shade(input.shadowPosition));
}

technique base
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = LessEqual;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PSBase();
    }
}

technique notex
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = LessEqual;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PSNoTex();
    }
}
